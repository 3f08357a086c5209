#include "app/Application.h"

#include "app/Tools.h"
#include "diag/ThrowSite.h"

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
        reportException(std::current_exception(), CurrentThrowAddress());
    }
    return false;
}

void TApplication::reportException(std::exception_ptr error, std::uintptr_t address)
{
    pending_.emplace_back(error, address);
    // Shown by a queued call: a modal box must not run inside the catch.
    if (pending_.size() == 1 && !reporting_)
        QMetaObject::invokeMethod(this, [this] { reportPending(); }, Qt::QueuedConnection);
}

void TApplication::reportPending()
{
    // One report after another: reports that come while one is open wait
    // for it to close.
    if (reporting_)
        return;
    reporting_ = true;
    while (!pending_.empty()) {
        const auto [error, address] = pending_.front();
        pending_.pop_front();
        try {
            if (handler_)
                handler_(error, address);
            else
                ShowErrorMessage(ExceptionMessage(error));
        } catch (...) {
            // A report that fails in its turn has nothing left to report to.
        }
    }
    reporting_ = false;
}

void ReportCurrentException()
{
    const std::exception_ptr error = std::current_exception();
    const std::uintptr_t address = ThrowAddress(error);
    if (auto* app = qobject_cast<TApplication*>(QCoreApplication::instance())) {
        app->reportException(error, address);
        return;
    }
    try {
        ShowErrorMessage(ExceptionMessage(error));
    } catch (...) {
    }
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
