#ifndef OPERATIONRESULT_H
#define OPERATIONRESULT_H

#include <QString>

// How an operation of the core ended: success, or a failure. Either way it
// carries the text the window shows for it (empty where the window shows
// nothing), and a failure says why, which talvik-cli turns into its exit
// code. A failure on a file may add a detail for the command line: the path
// and the system's reason ("/home/ana/log.csv: Permission denied"); the
// window's own text stays as it is.
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
    static OperationResult failure(Reason reason, const QString &message,
                                   const QString &detail = QString());

    bool succeeded() const { return why == Reason::None; }
    bool failed() const { return why != Reason::None; }
    Reason reason() const { return why; }
    const QString &message() const { return text; }
    const QString &detail() const { return details; }

private:
    OperationResult(Reason reason, const QString &message, const QString &detail)
        : why(reason), text(message), details(detail)
    {
    }

    Reason why;
    QString text;
    QString details;
};

#endif
