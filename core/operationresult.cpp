#include "core/operationresult.h"

OperationResult OperationResult::success(const QString &message)
{
    return OperationResult(Reason::None, message);
}

OperationResult OperationResult::failure(Reason reason, const QString &message)
{
    return OperationResult(reason == Reason::None ? Reason::Module : reason, message);
}
