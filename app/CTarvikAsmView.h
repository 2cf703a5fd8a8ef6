#pragma once
#include "app/CAddressedTextView.h"
#include <map>
#include <string>
#include <vector>

class QComboBox;
class SourceLines;

// The Assembly View: the source of the last loaded program as a source view. A program with a
// line table (an ELF with its DWARF lines) shows its source files, one at a time, chosen above
// the text; one without shows its assembler listing. The line where the program stopped is
// marked (a highlight, and an arrow in the gutter beside the text) and brought into sight at
// every stop, switching to its file; breakpoints show as dots in the gutter, and a click there
// toggles a breakpoint at the line's code.
class CTarvikAsmView : public CAddressedTextView {
    Q_OBJECT
public:
    explicit CTarvikAsmView(CTarvik11Doc* doc, QWidget* parent = nullptr);
    // Releases the listing: empties listingLines and clears listingShown.
    ~CTarvikAsmView() override;
    // Empties the document's listingLines and clears listingShown.
    void releaseListing();
    void OnUpdate() override;
    QString frameTitle() const override { return QStringLiteral("Assembly View"); }

    // The address of the code on the line shown (from 0), or nothing.
    std::optional<uint32_t> lineAddress(int line) const override { return addresses_.at(line); }
    // The first line shown with the code at address, or -1.
    int lineOf(uint32_t address) const override;

    // True while the view shows source files from the program's line table.
    bool showingSource() const { return !files_.empty(); }
    // The source files of the line table as it names them (empty for a listing).
    QStringList sourceFiles() const;
    // The index of the source file shown (-1 for a listing).
    int shownFile() const { return shownFile_; }
    // Shows source file index of the line table (the chooser follows).
    void showFile(int index);
    // The chooser of the source file shown (hidden for a listing).
    QComboBox* fileChooser() const { return chooser_; }

protected:
    void onTargetStateChanged() override;
    int topMargin() const override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The line table of the loaded program (nullptr without a session).
    const SourceLines* table() const;
    // Takes the line table's files when the program changed; true when it did.
    bool takeSourceFiles();
    // The text of source file index: the file at its path, else beside the program.
    QStringList readSource(int index) const;
    // The file of the stop, or -1.
    int fileOfStop() const;
    // Puts the chooser in the strip above the text.
    void placeChooser();

    QStringList shownListing_;
    LineAddresses addresses_;
    QComboBox* chooser_;
    // The line table's files and, per file, the lowest address of each line with code.
    std::vector<std::string> files_;
    size_t rows_ = 0;
    std::vector<std::map<uint32_t, uint32_t>> lineCode_;
    int shownFile_ = -1;
};
