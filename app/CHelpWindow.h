#pragma once
#include <QMap>
#include <QWidget>

class QLineEdit;
class QListWidget;
class QTabWidget;
class QTextBrowser;

// The help window: the user's guide shipped with the program, a contents list and a keyword search.
class CHelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit CHelpWindow(QWidget* parent = nullptr);

    // Shows the contents page.
    void showContents();
    // Shows the keyword search with key typed into it.
    void showSearch(const QString& key);
    // Shows one page by its file name ("trace.html").
    void showPage(const QString& page);
    // The entries of the search list for key: keywords containing it, else pages whose text does.
    QStringList searchEntries(const QString& key) const;
    // The page shown.
    QString currentPage() const;

private:
    void runSearch(const QString& key);
    QList<QPair<QString, QString>> matches(const QString& key) const;

    QTabWidget* tabs_ = nullptr;
    QListWidget* contents_ = nullptr;
    QLineEdit* searchKey_ = nullptr;
    QListWidget* results_ = nullptr;
    QTextBrowser* browser_ = nullptr;
    QMultiMap<QString, QString> keywords_; // keyword (lower case) to page
    QMap<QString, QString> pageText_;      // page to its plain text
    QMap<QString, QString> pageTitle_;     // page to its title
};
