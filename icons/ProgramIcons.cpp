#include "ProgramIcons.h"

#include <QFile>
#include <array>

// The resource lives in a static library; naming its initialiser here makes the linker keep it
// in every program that asks for an icon. Q_INIT_RESOURCE must be used outside a namespace.
static void InitIconResource() {
    Q_INIT_RESOURCE(icons);
}

namespace calvenor {

QIcon ProgramIcon(const QString& name) {
    InitIconResource();
    constexpr std::array kSizes{16, 32, 48, 64, 128, 256};
    QIcon icon;
    for (int size : kSizes) {
        const QString path = QStringLiteral(":/icons/%1/%2.png").arg(size).arg(name);
        if (QFile::exists(path)) {
            icon.addFile(path, QSize(size, size));
        }
    }
    return icon;
}

}  // namespace calvenor
