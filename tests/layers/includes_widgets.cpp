// Compiles only where Qt Widgets are allowed.
#include <QWidget>
