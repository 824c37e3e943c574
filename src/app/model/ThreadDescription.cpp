#include "model/ThreadDescription.h"

#include <QCoreApplication>
#include <QThread>

#include <sstream>

namespace tess {

std::string currentThreadDescription()
{
    QThread* thread = QThread::currentThread();
    std::ostringstream text;
    text << "<QThread: " << static_cast<const void*>(thread) << ">{name = ";
    const QCoreApplication* app = QCoreApplication::instance();
    if (app != nullptr && thread == app->thread()) {
        text << "main";
    } else if (!thread->objectName().isEmpty()) {
        text << thread->objectName().toStdString();
    } else {
        text << "(null)";
    }
    text << "}";
    return text.str();
}

}  // namespace tess
