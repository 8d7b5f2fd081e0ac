#include "app/talvik.h"

void Talvik::setModuleClock() {}
void Talvik::on_ButtonSetSN_clicked() {}
void Talvik::on_ButtonEraseLog_clicked() {}
void Talvik::on_ButtonDisableCell_clicked() {}
