// The help topics: which page documents which window, which Help button and
// which message. A new window gets its help by one page per language and one
// entry in the table of helptopics.cpp.
#pragma once

#include <QString>
#include <vector>

namespace help {

struct Topic {
    const char *name;    // the topic's name; also a named help context ("DCMOffset")
    int context;         // numeric help context of a Help button or message box; 0 = none
    const char *windows; // object or class names of the windows and pages it documents,
                         // separated by blanks; F1 there opens this topic
    const char *page;    // file in each language's folder, optionally with "#anchor"
};

// Every topic, the contents first, in the order of the contents list.
const std::vector<Topic> &Topics();
const Topic &ContentsTopic();

// Lookups; null when nothing matches. A context of 0 matches nothing.
const Topic *TopicByName(const QString &name);
const Topic *TopicByContext(int context);
const Topic *TopicByWindowName(const QString &objectOrClassName);

// "de" for German ('D') and "en" for English ('E'). Any other language
// character keeps the designed captions, which are German.
QString LanguageFolder(char language);

// The folder holding de/ and en/: set by SetHelpDirectory (tests, hosts),
// else "help" beside the program (a build tree), else the installed data
// directory. Empty when no folder holds the pages.
QString HelpDirectory();
void SetHelpDirectory(const QString &dir); // empty restores the search

// Full path of a topic's page in a language (without the anchor), and the
// anchor ("" when none).
QString PagePath(const Topic &topic, char language);
QString PageAnchor(const Topic &topic);

} // namespace help
