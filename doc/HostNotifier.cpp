#include "HostNotifier.h"
#include "DocumentHost.h"
#include <QString>

void HostNotifier::showMessage(const std::string& text)
{
    host_.messageBox(QString::fromStdString(text));
}
