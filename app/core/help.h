// The help display: a topic "page.htm>window" opens that page of the help shipped with the
// program in the user's browser. The window part named a help viewer's window; a browser has none.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// The topics the program opens.
namespace helptopic {
inline constexpr char kHome[] = "home.htm>Dravik";
inline constexpr char kRecording[] = "recording.htm>Help";
inline constexpr char kVox[] = "VOX.htm>Help";
inline constexpr char kAutoStartStop[] = "autostartstop.htm>Help";
inline constexpr char kAutoSave[] = "autosave.htm>Help";
} // namespace helptopic

// The folders searched for help pages, in order: "help" in the program's folder (the build), then
// "../share/dravik/help" from the program's folder (an installed program).
QStringList helpFolders();

// The page of a topic: the text before '>' (the whole topic without one), which must be a plain
// file name. The first folder of helpFolders() that holds it gives the full path; empty when no
// folder does or the name is not plain.
QString helpFileFor(const QString& topic);

// Opens the topic's page in the user's browser. A page that is not installed, or a desktop with
// no browser to open it, is told in a message box owned by `parent` and titled with its window
// title; returns whether the page was handed to the browser.
bool showHelp(const QString& topic, QWidget* parent = nullptr);
