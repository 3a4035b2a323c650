// Stream warnings in result documents (see streamwarningsjson.h).
#include "measurement/streamwarningsjson.h"

#include <QJsonObject>
#include <QString>

namespace measure {

QJsonArray StreamWarningsJson(const std::vector<audio::StreamWarning> &warnings)
{
    QJsonArray list;
    for (const audio::StreamWarning &w : warnings)
        list.append(QJsonObject{{"code", audio::StreamWarningCode(w.kind)},
                                {"text", QString::fromStdString(audio::StreamWarningText(w, 'E'))}});
    return list;
}

} // namespace measure
