#include "app/talvik.h"

void Talvik::uploadFirmware() {}
