#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include <functional>
#include <type_traits>

namespace mirebolt::testing {

// Runs `action` on the modal window that the call after this one opens, as soon as the event
// loop turns in it; the action answers and closes the window. The test fails when no modal
// window of that type opened.
template <class Window = QWidget>
void OnNextModal(std::type_identity_t<std::function<void(Window*)>> action) {
    QTimer::singleShot(0, [action = std::move(action)] {
        auto* window = qobject_cast<Window*>(QApplication::activeModalWidget());
        ASSERT_NE(window, nullptr) << "the expected modal window did not open";
        action(window);
    });
}

}  // namespace mirebolt::testing
