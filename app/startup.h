#ifndef STARTUP_H
#define STARTUP_H

// The form is laid out for this font: the application's default family at a
// pixel size of 11, for every widget class. Call once the QApplication exists.
void useApplicationFont();

#endif
