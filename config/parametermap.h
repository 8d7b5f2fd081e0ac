#ifndef PARAMETERMAP_H
#define PARAMETERMAP_H

#include <QString>
#include <QVariant>

#include <array>

// The configuration items of the module, in the one order that reading,
// writing, saving and loading all follow. The table names widgets only by
// their object names, so it can be walked without a form.
namespace config
{

enum class Kind {
    Float,    // line edit <-> 32-bit float parameter
    Choice,   // combo box index <-> 16-bit parameter
    Port,     // line edit with a signed decimal <-> 16-bit parameter
    Text,     // line edit <-> text parameter
    Password, // line edit -> text parameter; never read back
};

struct Parameter {
    const char *widget; // object name in the form
    int index;          // the module's parameter number
    Kind kind;
    const char *fileKey;      // key in configuration files, nullptr when not kept
    const char *defaultValue; // what loading puts in when the file lacks the key
    // A Choice's number of items; 0 for the analog units boxes, whose items
    // the analog presentation puts in.
    int choiceCount;
    // The most characters the form's line edit holds; it cuts longer texts.
    // 0 for a Choice.
    int maxLength;
};

constexpr int ParameterCount = 53;
extern const std::array<Parameter, ParameterCount> ParameterMap;

// The item of the map with this object name, or nullptr.
const Parameter *parameterOf(const QString &widget);

// Items the module is asked for on a read (every kind but Password).
int readableParameterCount();
// Items kept in configuration files.
int fileParameterCount();

// The value QSettings::value is given for a missing key: an integer for a
// Choice, text for the rest.
QVariant fileDefault(const Parameter &parameter);

// Float: general notation, at most 7 significant digits, point as separator.
QString floatToText(float value);
// Any text that is not a number, an empty one included, gives 0.
float floatFromText(const QString &text);

// Choice: the index a combo box of itemCount items is set to for a module or
// file value; -1 (no current item) when the value is not one of its items.
int choiceIndex(int value, int itemCount);
// The 16 bits a current index goes out as; no current item sends 0xFFFF.
int choiceToWire(int currentIndex);
// A file's text that is no integer gives 0.
int choiceFromFile(const QVariant &value);

// Port: the sign-extended value in signed decimal; text that is not a
// number gives 0, and only the low 16 bits go out.
QString portToText(int value);
int portToWire(const QString &text);

// What a write may send. A Float needs a finite number that a float can
// hold; a Port an integer whose low 16 bits are the port, a negative one
// being a port of 32768 or more as it reads back; a Text only characters
// the module's one-byte code page has.
bool floatTextIsSendable(const QString &text);
bool portTextIsSendable(const QString &text);
bool textIsSendable(const QString &text);

// Why the form could not hold a value as a file gives it, for a Choice whose
// box offers itemCount items. A Choice needs a whole number, and one of the
// items where the box offers any (an empty box shows none whatever the
// number); a text or a password at most maxLength characters, each of the
// one-byte code page; a Float at most maxLength characters that do not go
// out as an infinity or a NaN (text that is no number goes out as 0, and is
// the write checks' business).
enum class ValueFault {
    None,
    NotWholeNumber,
    NotAnItem,
    TooLong,
    OutsideLatin1,
    NotFinite,
};
ValueFault fileValueFault(const Parameter &parameter, const QString &text, int itemCount);

} // namespace config

#endif
