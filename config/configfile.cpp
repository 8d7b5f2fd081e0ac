#include "app/talvik.h"

void Talvik::on_ButtonLoad_clicked() {}
void Talvik::on_ButtonSave_clicked() {}
