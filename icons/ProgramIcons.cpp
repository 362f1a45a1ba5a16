#include "ProgramIcons.h"

#include <QFile>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <array>
#include <map>

// The resource lives in a static library; naming its initialiser here makes the linker keep it
// in every program that asks for an icon. Q_INIT_RESOURCE must be used outside a namespace.
static void InitIconResource() {
    Q_INIT_RESOURCE(icons);
}

namespace calvenor {
namespace {

constexpr std::array kSizes{16, 32, 48, 64, 128, 256};

QString RenderedPath(const QString& name, int size) {
    return QStringLiteral(":/icons/%1/%2.png").arg(size).arg(name);
}

// Decodes a rendered size only when it is first asked for: a window shows one or two sizes, and
// decoding all six (the 256-pixel one above all) was a tenth of a program's start-up.
class CRenderedSizesEngine final : public QIconEngine {
public:
    explicit CRenderedSizesEngine(QString name) : m_name(std::move(name)) {}

    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int rendered = RenderedSizeFor(size);
        QPixmap& pixmap = m_decoded[rendered];
        if (pixmap.isNull()) {
            pixmap.load(RenderedPath(m_name, rendered));
        }
        if (pixmap.isNull() || pixmap.size() == size) {
            return pixmap;
        }
        return pixmap.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int rendered = RenderedSizeFor(size);
        return QSize(rendered, rendered)
            .scaled(size, Qt::KeepAspectRatio)
            .boundedTo(QSize(rendered, rendered));
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        QList<QSize> sizes;
        for (int size : kSizes) {
            sizes.append(QSize(size, size));
        }
        return sizes;
    }

    QIconEngine* clone() const override { return new CRenderedSizesEngine(*this); }
    QString key() const override { return QStringLiteral("CalvenorRenderedSizes"); }

private:
    // The smallest rendering at least as large as asked for, else the largest: scaling down
    // keeps a drawing sharp, scaling up blurs it.
    static int RenderedSizeFor(const QSize& size) {
        const int wanted = qMax(size.width(), size.height());
        for (int rendered : kSizes) {
            if (rendered >= wanted) {
                return rendered;
            }
        }
        return kSizes.back();
    }

    QString m_name;
    std::map<int, QPixmap> m_decoded;
};

}  // namespace

QIcon ProgramIcon(const QString& name) {
    InitIconResource();
    // Every size is rendered, so one present means all are (the icons test checks each).
    if (!QFile::exists(RenderedPath(name, kSizes.front()))) {
        return QIcon();
    }
    return QIcon(new CRenderedSizesEngine(name));
}

}  // namespace calvenor
