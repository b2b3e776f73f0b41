// Qt Widgets reached through Qt's root folder: still only for ui/.
#include <QtWidgets/QWidget>
