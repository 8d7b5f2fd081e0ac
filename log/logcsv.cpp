#include "app/talvik.h"

void Talvik::writeLogCsv(const QString &, quint32, quint32, bool, bool, bool, bool) {}
