// The application object and the way exceptions end. A handler's exception
// is caught where the handler is connected (Guarded) and reported; the
// application's notify catches whatever still reaches the event loop. Each is
// reported by a queued call, one report after another, and the program then
// goes on.
#pragma once

#include <QApplication>

#include <concepts>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <string>
#include <utility>

namespace paddock {

class TApplication : public QApplication {
    Q_OBJECT
public:
    // Reports an exception thrown at the code address given (0: unknown).
    using ExceptionHandler = std::function<void(std::exception_ptr, std::uintptr_t)>;

    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // The handler that reports an exception; without one a plain error box
    // with the exception's message is shown.
    void setExceptionHandler(ExceptionHandler handler) { handler_ = std::move(handler); }
    // Reports an exception caught elsewhere, after the current event.
    void reportException(std::exception_ptr error, std::uintptr_t address);

private:
    void reportPending();

    ExceptionHandler handler_;
    std::deque<std::pair<std::exception_ptr, std::uintptr_t>> pending_;
    bool reporting_ = false;
};

// Reports the exception being handled (call it inside a catch block) through
// the application, or shows its message when there is no TApplication.
void ReportCurrentException();

// A handler for QObject::connect that catches what the callable throws and
// reports it, so that no exception unwinds through Qt's frames.
template <class F> auto Guarded(F handler)
{
    return [handler = std::move(handler)](auto&&... args) mutable
               requires std::invocable<F&, decltype(args)...>
    {
        try {
            handler(std::forward<decltype(args)>(args)...);
        } catch (...) {
            ReportCurrentException();
        }
    };
}

// The same for a member function; the signal's arguments go to it.
template <class T, class R, class... A> auto Guarded(T* object, R (T::*method)(A...))
{
    return [object, method](A... args) {
        try {
            (object->*method)(std::forward<A>(args)...);
        } catch (...) {
            ReportCurrentException();
        }
    };
}

// The message of an exception for a report.
std::string ExceptionMessage(std::exception_ptr error);

} // namespace paddock
