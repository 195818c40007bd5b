#include "ui/Pictures.h"

#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>

// The resources live in the widgets library, a static archive: they must be registered by name.
static void RegisterPictureResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(VeltraneIcons);
        return true;
    }();
    Q_UNUSED(registered);
}

namespace Pictures {
namespace {

qreal DeviceRatio()
{
    const auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    return app ? app->devicePixelRatio() : 1.0;
}

QImage RenderImage(const QString& name, const QSize& size, qreal ratio)
{
    RegisterPictureResources();
    QSvgRenderer renderer(QStringLiteral(":/veltrane/icons/") + name + QStringLiteral(".svg"));
    if (!renderer.isValid())
        return QImage();
    QImage image(size * ratio, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    image.setDevicePixelRatio(ratio);
    return image;
}

// Moves every pixel towards the given colour by amount (0 to 1), keeping its transparency.
QImage Tinted(const QImage& source, QColor towards, qreal amount)
{
    QImage image = source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            const auto mix = [&](int from, int to) {
                return static_cast<int>(from + (to - from) * amount);
            };
            line[x] = qRgba(mix(qRed(p), towards.red()), mix(qGreen(p), towards.green()), mix(qBlue(p), towards.blue()),
                            qAlpha(p));
        }
    }
    return image;
}

// Grey, lighter and half transparent: the look of a command that cannot run now.
QImage Greyed(const QImage& source)
{
    QImage image = source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            const int grey = std::min(255, qGray(p) / 2 + 120);
            line[x] = qRgba(grey, grey, grey, qAlpha(p) * 6 / 10);
        }
    }
    return image;
}

} // namespace

QPixmap Render(const QString& name, const QSize& size)
{
    return QPixmap::fromImage(RenderImage(name, size, DeviceRatio()));
}

ButtonLooks ToolbarLooks(const QString& name)
{
    static QHash<QString, ButtonLooks> cache;
    const auto found = cache.constFind(name);
    if (found != cache.constEnd())
        return *found;
    const QImage image = RenderImage(name, QSize(32, 32), DeviceRatio());
    ButtonLooks looks;
    if (!image.isNull()) {
        looks.normal = QPixmap::fromImage(image);
        looks.hot = QPixmap::fromImage(Tinted(image, Qt::white, 0.18));
        looks.pressed = QPixmap::fromImage(Tinted(image, Qt::black, 0.2));
        looks.disabled = QPixmap::fromImage(Greyed(image));
    }
    cache.insert(name, looks);
    return looks;
}

QIcon SmallIcon(const QString& name)
{
    QIcon icon;
    const QPixmap pixmap = Render(name, QSize(18, 18));
    icon.addPixmap(pixmap, QIcon::Normal);
    icon.addPixmap(pixmap, QIcon::Selected);
    return icon;
}

} // namespace Pictures
