#include "app/talvik.h"

void Talvik::on_ButtonRead_clicked() {}
void Talvik::on_ButtonWrite_clicked() {}
