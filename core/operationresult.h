#ifndef OPERATIONRESULT_H
#define OPERATIONRESULT_H

#include <QString>

// How an operation of the core ended: success, or a failure. Either way it
// carries the text the window shows for it (empty where the window shows
// nothing), and a failure says why, which talvik-cli turns into its exit
// code.
class OperationResult
{
public:
    enum class Reason {
        None,       // it succeeded
        Module,     // the module did not answer, or answered no
        File,       // a file could not be read or written
        Refused,    // the input was refused before anything was sent
        Cancelled,  // the user stopped it
        NothingNew, // a download of new records found none
    };

    static OperationResult success(const QString &message = QString());
    static OperationResult failure(Reason reason, const QString &message);

    bool succeeded() const { return why == Reason::None; }
    bool failed() const { return why != Reason::None; }
    Reason reason() const { return why; }
    const QString &message() const { return text; }

private:
    OperationResult(Reason reason, const QString &message) : why(reason), text(message) {}

    Reason why;
    QString text;
};

#endif
