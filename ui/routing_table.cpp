#include "ui/routing_table.h"

namespace mirebolt::ui {

const RoutingTable::Row* RoutingTable::Match(const Message& message) const {
    for (const Row& row : rows_) {
        const bool matches = row.kind == message.kind &&
                             (row.kind == MessageKind::InitDialog || row.id == message.id) &&
                             (!row.code || *row.code == message.code);
        if (matches) {
            return &row;
        }
    }
    return nullptr;
}

}  // namespace mirebolt::ui
