#pragma once
// Message boxes as QMessageBox, for the windows.

#include "platform/Prompter.h"

#include <QMessageBox>

#include <memory>

namespace platform {

std::unique_ptr<QMessageBox> BuildMessageBox(const Message& message, QWidget* parent = nullptr);

class QtPrompter : public Prompter {
public:
    Answer ask(const Message& message) override;
};

} // namespace platform
