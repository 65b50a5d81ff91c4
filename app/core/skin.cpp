// Reading the skin library's resources: bitmaps and cursors are PNG pictures (a cursor carries its
// hot spot as the PNG text "HotSpot" = "x,y"), the strings one UTF-8 table of "number<TAB>text"
// lines.
#include "skin.h"

#include "platform/library.h"
#include "platform/resources.h"

#include <QGuiApplication>
#include <QHash>
#include <QPixmap>

namespace {

constexpr const char* kBitmapType = "BITMAP";
constexpr const char* kCursorType = "CURSOR";
constexpr const char* kStringsType = "STRINGS";
constexpr const char* kStringsName = "TABLE";

QImage decode(const std::optional<std::span<const uint8_t>>& blob)
{
    if (!blob || blob->empty())
        return {};
    QImage image;
    image.loadFromData(blob->data(), static_cast<int>(blob->size()), "PNG");
    if (image.isNull())
        return {};
    return image.convertToFormat(QImage::Format_ARGB32);
}

// "\n" and "\\" are the only escapes of the table.
QString unescape(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\' && i + 1 < text.size()) {
            ++i;
            out += text[i] == u'n' ? QChar(u'\n') : text[i];
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

struct SkinModule::Impl {
    platform::Library library;
    std::string error;
    QHash<int, QString> strings;
};

SkinModule::SkinModule() : impl_(std::make_unique<Impl>()) {}
SkinModule::~SkinModule() = default;

bool SkinModule::load(const std::string& name)
{
    impl_->strings.clear();
    impl_->error.clear();
    bool opened = name.find('/') != std::string::npos ? impl_->library.loadPath(name)
                                                      : impl_->library.load(name);
    if (!opened) {
        impl_->error = "The skin library could not be loaded: " + impl_->library.error();
        return false;
    }
    if (!platform::resourceTable(impl_->library.handle())) {
        impl_->error = "The skin library " + impl_->library.path() + " carries no pictures.";
        impl_->library.unload();
        return false;
    }
    auto table = platform::findResource(impl_->library.handle(), kStringsName, kStringsType);
    if (table) {
        const QString text = QString::fromUtf8(reinterpret_cast<const char*>(table->data()),
                                               static_cast<qsizetype>(table->size()));
        for (const QString& line : text.split(u'\n')) {
            const qsizetype tab = line.indexOf(u'\t');
            bool number = false;
            const int id = line.left(tab).toInt(&number);
            if (tab > 0 && number)
                impl_->strings.insert(id, unescape(line.mid(tab + 1)).left(kSkinStringMax));
        }
    }
    return true;
}

bool SkinModule::loaded() const
{
    return impl_->library.loaded();
}
const std::string& SkinModule::error() const
{
    return impl_->error;
}
const std::string& SkinModule::path() const
{
    return impl_->library.path();
}

QImage SkinModule::bitmap(const QString& name, qreal devicePixelRatio) const
{
    if (!loaded() || name.isEmpty())
        return {};
    if (devicePixelRatio <= 0)
        devicePixelRatio = qApp ? qApp->devicePixelRatio() : 1.0;
    const QByteArray key = name.toUtf8();
    const std::string_view plain(key.constData(), static_cast<size_t>(key.size()));
    if (devicePixelRatio > 1.0) {
        const std::string sharp = std::string(plain) + "@2x";
        QImage image = decode(platform::findResource(impl_->library.handle(), sharp, kBitmapType));
        if (!image.isNull()) {
            image.setDevicePixelRatio(2.0);
            return image;
        }
    }
    return decode(platform::findResource(impl_->library.handle(), plain, kBitmapType));
}

std::optional<QCursor> SkinModule::cursor(const QString& name) const
{
    if (!loaded() || name.isEmpty())
        return std::nullopt;
    const QByteArray key = name.toUtf8();
    const std::string_view plain(key.constData(), static_cast<size_t>(key.size()));
    // On a 2x screen the 2x picture, shown at the same logical size; the hot spot is logical.
    qreal ratio = 1.0;
    QImage image;
    if (qApp && qApp->devicePixelRatio() > 1.0) {
        const std::string sharp = std::string(plain) + "@2x";
        image = decode(platform::findResource(impl_->library.handle(), sharp, kCursorType));
        if (!image.isNull())
            ratio = 2.0;
    }
    if (image.isNull())
        image = decode(platform::findResource(impl_->library.handle(), plain, kCursorType));
    if (image.isNull())
        return std::nullopt;
    const QStringList hot = image.text(QStringLiteral("HotSpot")).split(u',');
    int x = hot.size() == 2 ? hot[0].toInt() : 0;
    int y = hot.size() == 2 ? hot[1].toInt() : 0;
    x = qBound(0, x, static_cast<int>(image.width() / ratio) - 1);
    y = qBound(0, y, static_cast<int>(image.height() / ratio) - 1);
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(ratio);
    return QCursor(pixmap, x, y);
}

QString SkinModule::string(int id) const
{
    return impl_->strings.value(id);
}

SkinModule& skinModule()
{
    static SkinModule module;
    static bool tried = false;
    if (!tried) {
        tried = true;
        module.load();
    }
    return module;
}

bool loadSkin(std::string* error)
{
    SkinModule& module = skinModule();
    if (!module.loaded() && error)
        *error = module.error();
    return module.loaded();
}

QImage skinBitmap(const QString& name)
{
    return skinModule().bitmap(name);
}
std::optional<QCursor> skinCursor(const QString& name)
{
    return skinModule().cursor(name);
}
QString skinString(int id)
{
    return skinModule().string(id);
}
