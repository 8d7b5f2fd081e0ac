#include "core/operationresult.h"

OperationResult OperationResult::success(const QString &message)
{
    return OperationResult(Reason::None, message, QString());
}

OperationResult OperationResult::failure(Reason reason, const QString &message,
                                         const QString &detail)
{
    return OperationResult(reason == Reason::None ? Reason::Module : reason, message, detail);
}
