// The sound server's stream warnings as the result documents hold them: an
// array of objects with the warning's "code" and its English "text".
#pragma once

#include "audio/streamwarnings.h"

#include <QJsonArray>
#include <vector>

namespace measure {

QJsonArray StreamWarningsJson(const std::vector<audio::StreamWarning> &warnings);

} // namespace measure
