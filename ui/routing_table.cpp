#include "ui/routing_table.h"

namespace mirebolt::ui {

bool RoutingTable::Dispatch(const Message& message) const {
    for (const Row& row : rows_) {
        const bool matches = row.kind == message.kind &&
                             (row.kind == MessageKind::InitDialog || row.id == message.id) &&
                             (!row.code || *row.code == message.code);
        if (matches) {
            if (row.action) {
                row.action();
            }
            return true;
        }
    }
    return false;
}

}  // namespace mirebolt::ui
