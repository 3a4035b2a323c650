// What the subcommands of sonalyx-measure share: exit statuses, the common
// options (settings file, devices, format, output form, limits) and their
// reading, the generator options, number options with range checks, and
// the progress line on standard error.
#pragma once

#include "cli/measuresession.h"
#include "cli/report.h"
#include "audio/streamwarnings.h"
#include "audio/synthesis/synthesis.h"
#include "measurement/document/measurementdocument.h"
#include "measurement/limits.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <initializer_list>
#include <optional>
#include <string>

namespace cli {

enum ExitStatus : int { kPass = 0, kFail = 1, kError = 2 };

// The program's arguments as QStrings that keep every byte: bytes that are
// not UTF-8 become the lone surrogates U+DC80..U+DCFF, which LocalFileName
// turns back into the same bytes, so every name the file system holds can
// be given (Linux file names are bytes, not text).
QStringList ArgumentsFromArgv(int argc, char *argv[]);
std::string LocalFileName(const QString &argument);
// A message as it may go to a terminal: control characters, and bytes that
// are not UTF-8, written as \xNN (a file's ESC sequence cannot clear the
// screen or move the cursor).
std::string TerminalSafe(const std::string &text);

// A failure that ends the command with status 2 and its message.
struct CommandError {
    std::string message;
};

// The options every measuring command takes.
struct CommonOptions {
    std::string settings, input, output, limitsFile;
    int rate = 0, bits = 0;
    bool json = false;
    std::string title, remark; // the result document's
    measure::Limits limits;
    bool haveLimits = false;
};

// `withLimits` for the measuring commands: --limits, and --title and
// --remark for their result document.
void AddCommonOptions(QCommandLineParser &p, bool withLimits);
// Reads them (`withLimits` as they were added), opens the session and
// chooses devices and format.
CommonOptions OpenWithCommonOptions(const QCommandLineParser &p, MeasureSession &session, bool needOutput,
                                    bool withLimits);
// A limits file must hold something the command checks (`checked`), or the
// command ends with status 2; the lines it cannot check are named on
// standard error. Nothing happens without --limits.
void RequireCheckableLimits(const CommonOptions &o, std::initializer_list<measure::LimitKind> checked);

// The name of the running subcommand, for messages; and a warning on
// standard error that names it.
void SetCommandName(const QString &command);
void Warn(const std::string &text);

// Writes the results to standard output; a write that fails (a full disk, a
// closed pipe) ends the command with status 2 and the reason.
void WriteResults(const Report &report, bool json);

// Writes a result document to standard output: its JSON, or its table as
// CSV (a header line, then a line per row; numbers with a decimal point
// whatever the locale, at the column's decimals; an empty field where a row
// has none). A failed write ends the command with status 2.
void WriteDocument(const measure::MeasurementDocument &document, bool json);
// Writes `text` to standard output whole, or throws CommandError.
void WriteOut(const QByteArray &text);

// The generator options (--wave, --frequency, --gen-level, --phase-left,
// --phase-right) and the generator record they describe; nullopt when
// --wave is not given (no generator).
void AddGeneratorOptions(QCommandLineParser &p);
std::optional<audio::GeneratorSettings> GeneratorFromOptions(const QCommandLineParser &p);
QJsonObject DescribeGenerator(const audio::GeneratorSettings &g);
// Starts the generator (status 2 on failure).
void StartGenerator(audio::GeneratorSettings &g);

// Option values with their checks; the message names the option. Numbers
// are read with a decimal point whatever the locale.
int IntOption(const QCommandLineParser &p, const QString &name, int fallback, int lo, int hi);
double RealOption(const QCommandLineParser &p, const QString &name, double fallback, double lo, double hi);
// An option whose value must be one of `choices` (case-insensitive); the index.
int ChoiceOption(const QCommandLineParser &p, const QString &name, const QStringList &choices, int fallback);

// Parses a subcommand's arguments; prints help (its usage line naming the
// subcommand and the positional arguments added to `p`) and returns false
// for --help. Exactly `positional` arguments besides the options are taken.
bool ParseArguments(QCommandLineParser &p, const QStringList &arguments, const QString &description,
                    int positional = 0);

// A progress line on standard error for runs longer than a second.
class Progress {
public:
    Progress();
    ~Progress();
    void Update(const QString &text);

private:
    QElapsedTimer started_, last_;
    bool shown_ = false;
    bool tty_ = false;
};

// The result document of a command: its kind, the title and remark of the
// options, the program, version and time, the command, and `settings` (the
// session's description with the command's own sections) as its settings.
measure::MeasurementDocument CommandDocument(measure::MeasurementKind kind, const char *command,
                                             const CommonOptions &o, const QJsonObject &settings);

// What the sound server did with the measurement's streams (resampled, two
// clocks): into the document's "warnings", and each on standard error.
void SetStreamWarnings(measure::MeasurementDocument &document, const std::vector<audio::StreamWarning> &warnings);

// The limits outcome object for the report.
QJsonObject LimitsObject(const CommonOptions &o, bool pass, const QJsonArray &failures);
// The same into a result document (nothing without --limits).
void SetLimitsOutcome(measure::MeasurementDocument &document, const CommonOptions &o, bool pass,
                      const QJsonArray &failures);

} // namespace cli
