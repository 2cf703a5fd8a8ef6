#include "app/CHelpWindow.h"
#include <QFile>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {

struct HelpPage {
    const char* file;
    const char* title;
};

// The pages of the guide in contents order.
constexpr HelpPage kPages[] = {
    {"index.html", "Welcome to Tarvik11"},
    {"booting.html", "Booting the talker"},
    {"loading.html", "Loading a program"},
    {"memory.html", "Looking at and changing memory"},
    {"breakpoints.html", "Breakpoints"},
    {"trace.html", "Trace"},
    {"running.html", "Running programs and subroutines"},
    {"virtualboard.html", "The virtual board"},
    {"commands.html", "Menus, toolbar and keys"},
};

} // namespace

CHelpWindow::CHelpWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(tr("Tarvik11 Help"));
    setAttribute(Qt::WA_QuitOnClose, false);
    tabs_ = new QTabWidget(this);
    contents_ = new QListWidget(tabs_);
    contents_->setObjectName(QStringLiteral("helpContents"));
    auto* searchPage = new QWidget(tabs_);
    searchKey_ = new QLineEdit(searchPage);
    searchKey_->setObjectName(QStringLiteral("helpSearchKey"));
    searchKey_->setPlaceholderText(tr("Type a word to find"));
    searchKey_->setClearButtonEnabled(true);
    results_ = new QListWidget(searchPage);
    results_->setObjectName(QStringLiteral("helpSearchResults"));
    auto* searchLayout = new QVBoxLayout(searchPage);
    searchLayout->setContentsMargins(4, 4, 4, 4);
    searchLayout->addWidget(searchKey_);
    searchLayout->addWidget(results_);
    tabs_->addTab(contents_, tr("Contents"));
    tabs_->addTab(searchPage, tr("Search"));

    browser_ = new QTextBrowser(this);
    browser_->setSearchPaths({QStringLiteral(":/help")});
    browser_->setOpenExternalLinks(true);

    auto* splitter = new QSplitter(this);
    splitter->addWidget(tabs_);
    splitter->addWidget(browser_);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({220, 560});
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);
    resize(820, 560);

    static const QRegularExpression metaKeywords(
        QStringLiteral("<meta\\s+name=\"keywords\"\\s+content=\"([^\"]*)\""),
        QRegularExpression::CaseInsensitiveOption);
    for (const HelpPage& page : kPages) {
        const QString file = QString::fromLatin1(page.file);
        QFile f(QStringLiteral(":/help/") + file);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QString html = QString::fromUtf8(f.readAll());
        QTextDocument doc;
        doc.setHtml(html);
        pageText_.insert(file, doc.toPlainText());
        pageTitle_.insert(file, QString::fromLatin1(page.title));
        auto* item = new QListWidgetItem(QString::fromLatin1(page.title), contents_);
        item->setData(Qt::UserRole, file);
        const auto match = metaKeywords.match(html);
        if (match.hasMatch())
            for (const QString& k : match.captured(1).split(QLatin1Char(','), Qt::SkipEmptyParts))
                keywords_.insert(k.trimmed().toLower(), file);
    }
    auto open = [this](QListWidgetItem* item) {
        if (item)
            showPage(item->data(Qt::UserRole).toString());
    };
    connect(contents_, &QListWidget::itemActivated, this, open);
    connect(contents_, &QListWidget::itemClicked, this, open);
    connect(results_, &QListWidget::itemActivated, this, open);
    connect(results_, &QListWidget::itemClicked, this, open);
    connect(searchKey_, &QLineEdit::textChanged, this, &CHelpWindow::runSearch);
    connect(searchKey_, &QLineEdit::returnPressed, this, [this, open] { open(results_->item(0)); });
}

void CHelpWindow::showContents()
{
    tabs_->setCurrentIndex(0);
    showPage(QStringLiteral("index.html"));
    show();
    raise();
    activateWindow();
}

void CHelpWindow::showSearch(const QString& key)
{
    tabs_->setCurrentIndex(1);
    searchKey_->setText(key);
    runSearch(key);
    if (browser_->source().isEmpty())
        showPage(QStringLiteral("index.html"));
    show();
    raise();
    activateWindow();
    searchKey_->setFocus();
}

void CHelpWindow::showPage(const QString& page)
{
    browser_->setSource(QUrl(QStringLiteral("qrc:/help/") + page));
}

QString CHelpWindow::currentPage() const
{
    return browser_->source().fileName();
}

QList<QPair<QString, QString>> CHelpWindow::matches(const QString& key) const
{
    const QString k = key.trimmed().toLower();
    QList<QPair<QString, QString>> found;
    auto add = [&](const QString& label, const QString& page) {
        const QString entry = label + QStringLiteral(" - ") + pageTitle_.value(page);
        for (const auto& f : found)
            if (f.first == entry)
                return;
        found.append({entry, page});
    };
    for (auto it = keywords_.cbegin(); it != keywords_.cend(); ++it)
        if (k.isEmpty() || it.key().contains(k))
            add(it.key(), it.value());
    if (found.isEmpty() && !k.isEmpty())
        for (auto it = pageText_.cbegin(); it != pageText_.cend(); ++it)
            if (it.value().contains(k, Qt::CaseInsensitive))
                add(key.trimmed(), it.key());
    return found;
}

QStringList CHelpWindow::searchEntries(const QString& key) const
{
    QStringList entries;
    for (const auto& m : matches(key))
        entries << m.first;
    return entries;
}

void CHelpWindow::runSearch(const QString& key)
{
    results_->clear();
    for (const auto& m : matches(key)) {
        auto* item = new QListWidgetItem(m.first, results_);
        item->setData(Qt::UserRole, m.second);
    }
}
