// Messages of the result-file reader and writer, German and English.
#include "measurement/document/measurementfileerror.h"

#include "measurement/document/measurementdocument.h"

namespace measure {

namespace {

std::string Quoted(const std::string &s, bool de) { return de ? "\u201e" + s + "\u201c" : "\"" + s + "\""; }

std::string ExpectedText(Expected e, bool de)
{
    switch (e) {
    case Expected::Object:
        return de ? "ein Objekt" : "an object";
    case Expected::Array:
        return de ? "eine Liste" : "an array";
    case Expected::Text:
        return de ? "ein Text" : "a text";
    case Expected::TextOrNull:
        return de ? "ein Text oder null" : "a text or null";
    case Expected::ObjectOrNull:
        return de ? "ein Objekt oder null" : "an object or null";
    case Expected::Number:
        return de ? "eine Zahl" : "a number";
    case Expected::WholeNumber:
        return de ? "eine ganze Zahl" : "a whole number";
    case Expected::Boolean:
        return de ? "true oder false" : "true or false";
    case Expected::AutoOrWholeNumber:
        return de ? "\u201eauto\u201c oder eine ganze Zahl" : "\"auto\" or a whole number";
    case Expected::NumberTextOrNull:
        return de ? "eine Zahl, ein Text oder null" : "a number, a text or null";
    case Expected::TextColumnCell:
        return de ? "ein Text oder null wie die \u00fcbrigen Werte der Spalte"
                  : "a text or null, as the column's other values";
    case Expected::NumberColumnCell:
        return de ? "eine Zahl oder null wie die \u00fcbrigen Werte der Spalte"
                  : "a number or null, as the column's other values";
    case Expected::PhaseUnit:
        return de ? "\u201edeg\u201c" : "\"deg\"";
    case Expected::OverAxis:
        return de ? "\u201efrequency\u201c oder \u201elevel\u201c" : "\"frequency\" or \"level\"";
    }
    return std::string();
}

std::string SyntaxText(const FileError &e, bool de)
{
    const std::string where = de ? " (Zeile " + std::to_string(e.Line) + ", Spalte " + std::to_string(e.Column) + ")"
                                 : " (line " + std::to_string(e.Line) + ", column " + std::to_string(e.Column) + ")";
    const std::string file = de ? "Die Datei " + e.File : "The file " + e.File;
    switch (e.Syntax) {
    case SyntaxProblem::Truncated:
        return de ? file + " endet zu fr\u00fch" + where + ": sie wurde wohl nicht vollst\u00e4ndig geschrieben."
                  : file + " ends too early" + where + ": it was probably not written completely.";
    case SyntaxProblem::IllegalNumber:
        return de ? file + " enth\u00e4lt eine ung\u00fcltige Zahl" + where +
                        ": NaN und unendliche Werte sind nicht erlaubt, Betr\u00e4ge m\u00fcssen zwischen 1e-308 "
                        "und 1e308 liegen."
                  : file + " holds a number that is not valid" + where +
                        ": NaN and infinite values are not allowed, magnitudes must lie between 1e-308 and 1e308.";
    case SyntaxProblem::TooDeep:
        return de ? file + " ist zu tief verschachtelt" + where + "."
                  : file + " is nested too deeply" + where + ".";
    case SyntaxProblem::TooManyValues:
        return de ? file + " enth\u00e4lt " + std::to_string(e.Number) +
                        " Werte, mehr als eine Messdatei haben darf."
                  : file + " holds " + std::to_string(e.Number) + " values, more than a measurement file may hold.";
    case SyntaxProblem::Other:
        break;
    }
    return de ? file + " ist keine g\u00fcltige JSON-Datei" + where + "."
              : file + " is not valid JSON" + where + ".";
}

} // namespace

std::string FileErrorText(const FileError &e, char language)
{
    const bool de = language == 'D';
    const std::string file = de ? "Die Datei " + e.File : "The file " + e.File;
    const std::string inFile = de ? "In der Datei " + e.File : "In the file " + e.File;
    const std::string field = Quoted(e.Field, de), detail = Quoted(e.Detail, de);
    switch (e.Problem) {
    case FileProblem::None:
        return std::string();
    case FileProblem::NotFound:
        return de ? file + " gibt es nicht." : file + " does not exist.";
    case FileProblem::NotRegular:
        return de ? e.File + " ist keine gew\u00f6hnliche Datei." : e.File + " is not a regular file.";
    case FileProblem::TooLarge: {
        const std::string mb = std::to_string((e.Number + (1 << 20) - 1) >> 20);
        const std::string max = std::to_string(kMaxFileBytes >> 20);
        return de ? file + " ist mit " + mb + " MB zu gro\u00df f\u00fcr eine Messdatei (h\u00f6chstens " + max + " MB)."
                  : file + " is too large for a measurement file (" + mb + " MB, at most " + max + " MB).";
    }
    case FileProblem::Unreadable:
        return de ? file + " kann nicht gelesen werden: " + e.Detail : file + " cannot be read: " + e.Detail;
    case FileProblem::NotWritable:
        return de ? file + " kann nicht geschrieben werden: " + e.Detail
                  : file + " cannot be written: " + e.Detail;
    case FileProblem::Syntax:
        return SyntaxText(e, de);
    case FileProblem::NotDocument:
        return de ? file + " ist keine Messdatei von Sonalyx." : file + " is not a Sonalyx measurement file.";
    case FileProblem::BadVersion:
        return de ? file + " hat die ung\u00fcltige Formatversion " + detail + "."
                  : file + " has the invalid format version " + detail + ".";
    case FileProblem::NewerVersion: {
        const std::string ours = std::to_string(kFormatMajor) + ".x";
        return de ? file + " wurde von einer neueren Programmversion geschrieben (Format " + e.Detail +
                        "); dieses Programm liest Format " + ours + ". Bitte das Programm aktualisieren."
                  : file + " was written by a newer version of the program (format " + e.Detail +
                        "); this program reads format " + ours + ". Please update the program.";
    }
    case FileProblem::UnknownKind:
        return de ? file + " enth\u00e4lt eine unbekannte Messart " + detail + "."
                  : file + " holds an unknown kind of measurement " + detail + ".";
    case FileProblem::MissingField:
        return de ? inFile + " fehlt das Feld " + field + "." : inFile + " the field " + field + " is missing.";
    case FileProblem::WrongType:
        return de ? inFile + " muss das Feld " + field + " " + ExpectedText(e.Type, de) + " sein."
                  : inFile + " the field " + field + " must be " + ExpectedText(e.Type, de) + ".";
    case FileProblem::TooManyRows:
        return de ? file + " enth\u00e4lt " + std::to_string(e.Number) +
                        " Ergebniszeilen; eine Messdatei darf h\u00f6chstens " + std::to_string(kMaxRows) + " haben."
                  : file + " holds " + std::to_string(e.Number) + " result rows; a measurement file may hold at most " +
                        std::to_string(kMaxRows) + ".";
    case FileProblem::TooManyColumns:
        return de ? file + " enth\u00e4lt in " + field + " " + std::to_string(e.Number) +
                        " Eintr\u00e4ge; h\u00f6chstens " + std::to_string(kMaxColumns) + " sind erlaubt."
                  : file + " holds " + std::to_string(e.Number) + " entries in " + field + "; at most " +
                        std::to_string(kMaxColumns) + " are allowed.";
    case FileProblem::UnknownColumn:
        return de ? inFile + " nennt " + field + " die Spalte " + detail +
                        ", die es in der Tabelle nicht gibt oder die keine Zahlen enth\u00e4lt."
                  : inFile + ", " + field + " names the column " + detail +
                        ", which the table does not have or which holds no numbers.";
    case FileProblem::DuplicateName:
        return de ? inFile + " kommt der Name " + detail + " zweimal vor (" + e.Field + ")."
                  : inFile + " the name " + detail + " appears twice (" + e.Field + ").";
    case FileProblem::NoCurves:
        return de ? file + " enth\u00e4lt keine Kurve, die eine Messung der Art " + detail + " haben muss."
                  : file + " holds no curve, which a measurement of kind " + detail + " must have.";
    }
    return std::string();
}

} // namespace measure
