#pragma once
#include "app/CTextView.h"

// The Memory View: the document's memoryLines, scrolled so the latest dump's header is on top.
class CTarvik11View : public CTextView {
    Q_OBJECT
public:
    explicit CTarvik11View(CTarvik11Doc* doc, QWidget* parent = nullptr);
    void OnUpdate() override;
    QString frameTitle() const override { return QStringLiteral("Memory View"); }
    // Shows the lines from index first on below the ones shown (a rebuild if the view is behind).
    void OnLinesAppended(int first);

private:
    // Brings the latest dump's header line to the top.
    void scrollToLatestDump();

    int shownLines_ = 0;
    int shownLineFeeds_ = 0; // line feeds inside the entries shown
};
