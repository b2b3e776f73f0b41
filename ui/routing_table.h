#pragma once

#include <functional>
#include <optional>
#include <vector>

namespace mirebolt::ui {

// What reaches the main dialog: its initialisation, a command (a button's click, a key, an
// external command) or a notification from a control.
enum class MessageKind { InitDialog, Command, Notify };

struct Message {
    MessageKind kind;
    int id = 0;    // the command identifier, or the sender of a notification
    int code = 0;  // the notification code
};

// Rows tried in order; the first that matches handles the message. Unmatched messages are left
// to the window's default behaviour.
class RoutingTable {
  public:
    struct Row {
        MessageKind kind;
        int id;
        std::optional<int> code;  // nothing: any code
        std::function<void()> action;
    };

    explicit RoutingTable(std::vector<Row> rows) : rows_(std::move(rows)) {}

    // The row that handles the message, or nothing when none does.
    const Row* Match(const Message& message) const;

  private:
    std::vector<Row> rows_;
};

}  // namespace mirebolt::ui
