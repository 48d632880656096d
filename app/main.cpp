// velmora: the control panel for the bench power supply.

#include "panel/form1.h"
#include "panel/lifecycle.h"
#include "panel/message_box.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    velmora::InstallMessageBoxes();
    velmora::Form1 form;
    velmora::Startup();
    form.show();
    return QApplication::exec();
}
