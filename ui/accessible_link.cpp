#include "ui/accessible_link.h"

#include <QAccessibleWidget>

#include "ui/focus_mark.h"

namespace mirebolt::ui {

namespace {

class AccessibleLink : public QAccessibleWidget {
  public:
    explicit AccessibleLink(FocusMarkedLink* link)
        : QAccessibleWidget(link, QAccessible::Link), link_(link) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name && link_->accessibleName().isEmpty()) {
            return link_->shownText();  // the address as shown, without its markup
        }
        return QAccessibleWidget::text(kind);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.linked = true;
        return state;
    }

    QStringList actionNames() const override { return {pressAction()}; }

    void doAction(const QString& action) override {
        if (action == pressAction()) {
            link_->Activate();
        }
    }

  private:
    FocusMarkedLink* link_;
};

QAccessibleInterface* MakeAccessibleLink(const QString& className, QObject* object) {
    auto* link = qobject_cast<FocusMarkedLink*>(object);
    if (link == nullptr ||
        className != QLatin1String(FocusMarkedLink::staticMetaObject.className())) {
        return nullptr;
    }
    return new AccessibleLink(link);
}

}  // namespace

void InstallAccessibleLinks() {
    static const bool installed = [] {
        QAccessible::installFactory(&MakeAccessibleLink);
        return true;
    }();
    (void)installed;
}

}  // namespace mirebolt::ui
