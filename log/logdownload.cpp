#include "app/talvik.h"

void Talvik::downloadLog(bool) {}
