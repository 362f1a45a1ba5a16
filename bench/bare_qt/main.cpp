// The yardstick for start-up and memory: a Qt program that shows one empty dialog and quits.
#include <QApplication>
#include <QDialog>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QDialog dialog;
    dialog.show();
    QApplication::processEvents();
    const bool shown = dialog.isVisible();
    dialog.done(QDialog::Rejected);
    return shown ? 0 : 1;
}
