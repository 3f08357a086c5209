#include "app/Application.h"

#include "app/Tools.h"

#include <QMetaObject>

#include <string>

namespace paddock {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        reportException(std::current_exception());
    }
    return false;
}

void TApplication::reportException(std::exception_ptr error)
{
    // Shown by a queued call: a modal box must not run inside the catch.
    QMetaObject::invokeMethod(
        this,
        [this, error] {
            if (handler_) {
                handler_(error);
                return;
            }
            try {
                ShowErrorMessage(ExceptionMessage(error));
            } catch (...) {
            }
        },
        Qt::QueuedConnection);
}

std::string ExceptionMessage(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown exception";
    }
}

} // namespace paddock
