// The application object. Every exception that escapes an event handler is
// caught here, before it can unwind through Qt's event loop, and handed to the
// installed handler by a queued call; the program then goes on.
#pragma once

#include <QApplication>

#include <exception>
#include <functional>

namespace paddock {

class TApplication : public QApplication {
    Q_OBJECT
public:
    using ExceptionHandler = std::function<void(std::exception_ptr)>;

    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // The handler that reports an exception; without one a plain error box
    // with the exception's message is shown.
    void setExceptionHandler(ExceptionHandler handler) { handler_ = std::move(handler); }
    // Reports an exception caught elsewhere, the same way.
    void reportException(std::exception_ptr error);

private:
    ExceptionHandler handler_;
};

// The message of an exception for a report.
std::string ExceptionMessage(std::exception_ptr error);

} // namespace paddock
