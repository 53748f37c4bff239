#include "dialogs.h"
#include "formbuilder.h"
#include "manualwindow.h"
#include "qtserialport.h"
#include <QApplication>

int main(int argc, char* argv[]) {
    if (!ravik::HaveDisplay("handpoint"))
        return 2;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("handpoint"));
    ravik::QtSerialPort port;
    ravik::WidgetDialogs dialogs(nullptr);
    handpoint::frmDataUploader window({&port, &dialogs});
    dialogs.setParent(&window);
    window.Form_Load();
    window.show();
    return app.exec();
}
