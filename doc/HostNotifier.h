#pragma once
#include "EngineNotifier.h"

class DocumentHost;

// Shows the engine's fixed messages in the host's modal message box.
class HostNotifier : public EngineNotifier {
public:
    explicit HostNotifier(DocumentHost& host) : host_(host) {}
    // A box with the application title, the text, OK and the warning icon.
    void showMessage(const std::string& text) override;

private:
    DocumentHost& host_;
};
