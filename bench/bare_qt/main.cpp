// The yardstick for start-up and memory, the floor of this stack: a Qt program that links libcurl
// and sets it up as the filer does when its window is made (the library's global state and one
// easy handle), shows one empty dialog and quits.
#include <curl/curl.h>

#include <QApplication>
#include <QDialog>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (curl_global_init(CURL_GLOBAL_ALL) != CURLE_OK)
        return 1;
    CURL* handle = curl_easy_init();
    QDialog dialog;
    dialog.show();
    QApplication::processEvents();
    const bool shown = dialog.isVisible() && handle != nullptr;
    dialog.done(QDialog::Rejected);
    curl_easy_cleanup(handle);
    curl_global_cleanup();
    return shown ? 0 : 1;
}
