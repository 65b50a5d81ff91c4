// The skin library, libDravik.so: every picture, cursor and most texts of the window. The program
// loads it once from its own folder and reads bitmaps by name, cursors by name and strings by
// number; whatever the library lacks comes back empty, never as a failure.
#pragma once

#include <QCursor>
#include <QImage>
#include <QString>

#include <memory>
#include <optional>
#include <string>

// Skin strings are cut at this many characters.
constexpr int kSkinStringMax = 255;

class SkinModule {
public:
    SkinModule();
    ~SkinModule();
    SkinModule(const SkinModule&) = delete;
    SkinModule& operator=(const SkinModule&) = delete;

    // Loads the library ("Dravik", "libDravik.so" or a full path) from the program's folder.
    // False, with error() saying why, when it is missing or carries no resources.
    bool load(const std::string& name = "Dravik");
    bool loaded() const;
    const std::string& error() const;
    const std::string& path() const;

    // The bitmap of that name, ARGB32. With a device pixel ratio above 1 the library's sharp 2x
    // picture is returned when it has one (its devicePixelRatio() is then 2 and its logical size
    // that of the 1x picture). A ratio of 0 means the application's. Null when missing.
    QImage bitmap(const QString& name, qreal devicePixelRatio = 0) const;
    // The cursor of that name with its hot spot; empty when missing.
    std::optional<QCursor> cursor(const QString& name) const;
    // The string of that number, at most kSkinStringMax characters; empty when missing.
    QString string(int id) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The program's skin library, loaded on first use from the program's folder.
SkinModule& skinModule();
// Loads the program's skin library now (start-up checks it); false with the reason in plain words.
bool loadSkin(std::string* error = nullptr);

// Shorthands on the program's skin library.
QImage skinBitmap(const QString& name);
std::optional<QCursor> skinCursor(const QString& name);
QString skinString(int id);
