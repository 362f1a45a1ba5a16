#pragma once

#include <QIcon>
#include <QString>

// The programs' own icons, compiled into the calvenor_icons library. The resource holds the
// drawing (":/icons/calvenor.svg", ":/icons/pellwick.svg") and the rendered sizes
// (":/icons/<size>/calvenor.png" for 16, 32, 48, 64, 128 and 256). Qt reads SVG only with its
// optional SVG module, so the icons are built from the rendered sizes, which need nothing more.
namespace calvenor {

// "calvenor" or "pellwick": the file name stem shared by the resource, the installed icon theme
// entry and the desktop entry.
inline const QString kFilerIconName = QStringLiteral("calvenor");
inline const QString kApprovalsIconName = QStringLiteral("pellwick");

// The icon of the named program, every rendered size added; a null icon for an unknown name.
QIcon ProgramIcon(const QString& name);

// The filer's and the approvals program's window icons.
inline QIcon FilerIcon() {
    return ProgramIcon(kFilerIconName);
}
inline QIcon ApprovalsIcon() {
    return ProgramIcon(kApprovalsIconName);
}

}  // namespace calvenor
