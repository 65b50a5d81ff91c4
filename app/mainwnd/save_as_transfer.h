// Save As for a held take: a rename on the same file system, otherwise a copy with a progress
// window. The take is deleted only once its saved copy is complete, and a file the user agreed to
// overwrite is replaced only then, so a failed or cancelled save loses neither.
#pragma once

#include <QPoint>
#include <QString>

#include <functional>

class QWidget;

namespace saveas {

// Texts the transfer shows or reports, from the skin (strings 93, 95, 96 and 97).
struct TransferTexts {
    QString progressTitle; // title of the progress window
    QString cannotOpen;    // a file could not be opened or created
    QString diskFull;      // the destination's disk is full
    QString otherError;    // any other failure while reading or writing
};

enum class Outcome {
    Saved,     // the take now lives at `destination` (or already did); it is no longer at its path
    Failed,    // nothing changed: the take is where it was, an old destination is as it was
    Cancelled, // the user cancelled the copy; nothing changed
};

struct TransferResult {
    Outcome outcome = Outcome::Failed;
    QString destination; // the path saved to (after savePathFor)
    // On Failed: what to show the user, one of the texts above followed by the file's name and
    // the system's reason in plain words. Empty otherwise.
    QString reason;

    bool saved() const { return outcome == Outcome::Saved; }
};

// The name to save under: `chosen` with the take's own extension (".wav", ".mp3", ".wma", taken
// from `takePath`) appended unless `chosen` already ends in it (case-insensitive). A name such as
// "Interview 3.5" therefore becomes "Interview 3.5.wav". If the result differs from `chosen` and
// exists, the caller asks about overwriting it before calling saveTake.
QString savePathFor(const QString& chosen, const QString& takePath);

struct TransferOptions {
    // Size of each chunk of a copy.
    qint64 chunkBytes = 1000000;
    // Where the progress window appears, in screen coordinates; centred on the parent when null.
    QPoint progressPosition;
    // Called on the copying thread after each chunk is written (tests pace the copy with it).
    std::function<void(qint64 copied)> afterChunk;
};

// Saves the take at `takePath` as `destination` (already the final name; the caller has asked
// about overwriting an existing file). Tries a rename first, which replaces an existing
// destination at once and leaves the take's file open in the player valid. When the destination
// is on another file system, copies into a new hidden file beside it in chunks on a worker thread
// while a modal progress window (parent `parent`, enabled even when `parent` is disabled) shows
// the percentage and offers Cancel. The copy is made durable, renamed over the destination, and
// only then is the take deleted. A destination that is the take's own file is reported as Saved
// and nothing is deleted.
// The caller deletes nothing: on Saved it closes the player (which may still hold the old file
// open, harmlessly) and releases the take; otherwise it keeps the take held and, on Failed, shows
// `reason` (information icon, its caption). Nothing is shown here.
// Runs on the window's thread and returns when the transfer is over. While a copy runs the
// window's own events keep being handled (the progress window's event loop), so its meters move;
// the caller keeps the take held until this returns.
TransferResult saveTake(const QString& takePath, const QString& destination,
                        const TransferTexts& texts, QWidget* parent,
                        const TransferOptions& options = {});

} // namespace saveas
