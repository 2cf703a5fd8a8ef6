#include "app/CTarvikAsmView.h"
#include "document/CTarvik11Doc.h"
#include "engine/ListingLines.h"
#include "engine/ListingPath.h"
#include "engine/SourceLines.h"
#include "session/DebugSession.h"
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QResizeEvent>
#include <QSignalBlocker>

CTarvikAsmView::CTarvikAsmView(CTarvik11Doc* doc, QWidget* parent)
    : CAddressedTextView(doc, parent), chooser_(new QComboBox(this))
{
    chooser_->setObjectName(QStringLiteral("sourceFile"));
    chooser_->setToolTip(tr("The program's source file shown"));
    chooser_->hide();
    connect(chooser_, &QComboBox::activated, this, [this](int index) { showFile(index); });
}

CTarvikAsmView::~CTarvikAsmView()
{
    releaseListing();
}

void CTarvikAsmView::releaseListing()
{
    if (doc_) {
        doc_->listingLines.clear();
        doc_->listingShown = 0;
    }
}

const SourceLines* CTarvikAsmView::table() const
{
    DebugSession* session = doc_ ? doc_->services().session : nullptr;
    return session ? &session->sourceLines() : nullptr;
}

int CTarvikAsmView::topMargin() const
{
    return showingSource() ? chooser_->sizeHint().height() : 0;
}

void CTarvikAsmView::resizeEvent(QResizeEvent* event)
{
    CAddressedTextView::resizeEvent(event);
    placeChooser();
}

void CTarvikAsmView::placeChooser()
{
    placeGutter();
    const QRect area = contentsRect();
    chooser_->setGeometry(area.left(), area.top(), area.width(), topMargin());
}

QStringList CTarvikAsmView::sourceFiles() const
{
    QStringList out;
    for (const std::string& file : files_)
        out << QString::fromStdString(file);
    return out;
}

bool CTarvikAsmView::takeSourceFiles()
{
    const SourceLines* lines = table();
    if (!lines || lines->empty()) {
        const bool had = !files_.empty();
        if (had)
            addresses_.clear();
        files_.clear();
        lineCode_.clear();
        rows_ = 0;
        shownFile_ = -1;
        return had;
    }
    if (lines->files() == files_ && lines->rows().size() == rows_)
        return false;
    files_ = lines->files();
    rows_ = lines->rows().size();
    lineCode_.assign(files_.size(), {});
    // A line's code starts at the lowest address of its statement rows (an end row covers none).
    for (const SourceLines::Row& row : lines->rows()) {
        if (row.endSequence || !row.statement || row.file >= files_.size() || row.address > 0xFFFF)
            continue;
        auto& code = lineCode_[row.file];
        const auto [at, fresh] = code.emplace(row.line, row.address);
        if (!fresh && row.address < at->second)
            at->second = row.address;
    }
    const QSignalBlocker quiet(chooser_);
    chooser_->clear();
    for (const std::string& file : files_)
        chooser_->addItem(QFileInfo(QString::fromStdString(file)).fileName(), QString::fromStdString(file));
    shownFile_ = -1;
    return true;
}

QStringList CTarvikAsmView::readSource(int index) const
{
    const QString path = QString::fromStdString(files_[static_cast<size_t>(index)]);
    std::vector<std::string> read;
    bool found = readListingLines(path.toStdString(), read);
    // A program built elsewhere names its sources where they were: the one beside it stands in.
    if (!found && doc_ && !doc_->programPath.isEmpty()) {
        const QString beside = QFileInfo(doc_->programPath).dir().filePath(QFileInfo(path).fileName());
        found = readListingLines(beside.toStdString(), read);
    }
    QStringList out;
    if (!found)
        return {tr("(The source file %1 cannot be read.)").arg(path)};
    for (const std::string& line : read)
        out << QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
    return out;
}

void CTarvikAsmView::showFile(int index)
{
    if (index < 0 || index >= static_cast<int>(files_.size()))
        return;
    shownFile_ = index;
    {
        const QSignalBlocker quiet(chooser_);
        chooser_->setCurrentIndex(index);
    }
    const QStringList text = readSource(index);
    const auto& code = lineCode_[static_cast<size_t>(index)];
    addresses_.clear();
    for (int line = 0; line < text.size(); ++line) {
        const auto at = code.find(static_cast<uint32_t>(line + 1));
        addresses_.append(at == code.end() ? std::nullopt : std::optional<uint32_t>(at->second));
    }
    shownListing_.clear();
    applyTextFormat();
    setTabStopDistance(fontMetrics().horizontalAdvance(QLatin1Char(' ')) * 8);
    showLines(text);
}

int CTarvikAsmView::lineOf(uint32_t address) const
{
    if (!showingSource())
        return addresses_.lineOf(address);
    const SourceLines* lines = table();
    const auto place = lines ? lines->placeOf(address & 0xFFFFu) : std::nullopt;
    if (!place || shownFile_ < 0 || place->file != files_[static_cast<size_t>(shownFile_)])
        return -1;
    const int line = static_cast<int>(place->line) - 1;
    return line < addresses_.size() ? line : -1;
}

int CTarvikAsmView::fileOfStop() const
{
    const SourceLines* lines = table();
    const auto stop = doc_ ? doc_->stopAddress() : std::nullopt;
    const auto place = stop && lines ? lines->placeOf(*stop & 0xFFFFu) : std::nullopt;
    if (!place)
        return -1;
    for (size_t i = 0; i < files_.size(); ++i)
        if (files_[i] == place->file)
            return static_cast<int>(i);
    return -1;
}

void CTarvikAsmView::onTargetStateChanged()
{
    // A stop in another source file brings that file up.
    if (showingSource()) {
        const int file = fileOfStop();
        if (file >= 0 && file != shownFile_) {
            showFile(file);
            return;
        }
    }
    refreshMarkers(false);
}

void CTarvikAsmView::OnUpdate()
{
    if (takeSourceFiles() || (showingSource() && shownFile_ < 0)) {
        chooser_->setVisible(showingSource());
        placeChooser();
        if (showingSource()) {
            const int stop = fileOfStop();
            showFile(stop >= 0 ? stop : 0);
            return;
        }
    }
    if (showingSource()) {
        refreshMarkers(false);
        return;
    }
    // The document asks every view to rebuild when any of its lines change; the same listing keeps
    // its place and the cursor.
    if (doc_ && shownListing_ == doc_->listingLines && addresses_.size() > 0) {
        refreshMarkers(false);
        return;
    }
    shownListing_ = doc_ ? doc_->listingLines : QStringList();
    applyTextFormat();
    // A listing lays out its columns with tabs every eight characters.
    setTabStopDistance(fontMetrics().horizontalAdvance(QLatin1Char(' ')) * 8);
    addresses_.clear();
    for (const QString& line : shownListing_)
        addresses_.append(ListingLines::addressOf(line.toStdString()));
    // A new listing shows where the program stands at once.
    showLines(shownListing_);
}
