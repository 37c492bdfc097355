#include "catalogfixture.h"
#include "itemsmodel.h"
#include "modalanswer.h"
#include "qitemviewdelegate.h"
#include "qlistcomp.h"
#include "qlistedit.h"
#include "searchlineedit.h"
#include "testmain.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolTip>
#include <QWindow>
#include <QtTest>

#include <memory>

using namespace CatalogFixture;

namespace {

// Stands in for the main window: the box's parent, which receives the keys the
// box does not consume.
class Host : public QWidget
{
public:
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent *e) override
    {
        keys.append(e->key());
        e->accept();
    }
};

QString selected(const SearchLineEdit *box)
{
    return box->textCursor().selectedText();
}

QStringList rowAliases(const SearchLineEdit *box)
{
    QStringList list;
    for (int row = 0; row < box->model->rowCount(); ++row)
        list.append(box->model->data(box->model->index(row, 0), Qt::DisplayRole).value<APPBLOCK>().alias);
    return list;
}

// Moves the pointer, without buttons, to `pos` of `widget`: the platform then
// delivers the move, and enter and leave events when it crosses windows.
void hover(QWidget *widget, QPoint pos)
{
    QCursor::setPos(widget->mapToGlobal(pos));
    QCoreApplication::processEvents();
}

// Types `text` one character at a time as a keyboard (or an input method, for
// characters without a key of their own) delivers it.
void type(QWidget *target, const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        QString ch(text.at(i));
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ch += text.at(++i);
        const QChar c = ch.at(0);
        int key = 0;
        if (c.unicode() < 128 && c.isLetter())
            key = Qt::Key_A + (c.toUpper().unicode() - 'A');
        else if (c.unicode() < 128 && c.isDigit())
            key = Qt::Key_0 + (c.unicode() - '0');
        else if (c == QLatin1Char('\n'))
            key = Qt::Key_Return;
        else if (c == QLatin1Char('\t'))
            key = Qt::Key_Tab;
        else if (c == QLatin1Char(' '))
            key = Qt::Key_Space;
        QTest::sendKeyEvent(QTest::Click, target, Qt::Key(key), ch, Qt::NoModifier);
    }
}

// The pointer crossing into and out of `widget`. The offscreen platform does not
// report window crossings itself, so the events are sent as a window system sends them.
void enter(QWidget *widget, QPoint pos)
{
    hover(widget, pos);
    QEnterEvent event(QPointF(pos), QPointF(widget->mapTo(widget->window(), pos)),
                      QPointF(widget->mapToGlobal(pos)));
    QApplication::sendEvent(widget, &event);
}

void leave(QWidget *widget, QWidget *to, QPoint pos)
{
    hover(to, pos);
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(widget, &event);
}

void paste(QWidget *target, const QString &text)
{
    QGuiApplication::clipboard()->setText(text);
    QTest::keyClick(target, Qt::Key_V, Qt::ControlModifier);
}

} // namespace

class TestSearchBox : public QObject
{
    Q_OBJECT

    std::unique_ptr<Host> host;
    SearchLineEdit *box = nullptr;
    QPushButton *other = nullptr;
    QMap<QString, QString> ids;

    // A main window stand-in with the box at its place and another button, on a
    // fresh catalog holding `names`.
    void open(const QStringList &names, bool big = false)
    {
        removeCatalogFile();
        ids.clear();
        host = std::make_unique<Host>();
        // Ends at the box's bottom, so no window but the popup lies under the pointer
        // on the popup (the offscreen platform hands moves to the first window there).
        host->resize(450, 93);
        host->move(200, 150);
        box = new SearchLineEdit(host.get());
        box->setGeometry(17, 70, 280, 23);
        other = new QPushButton(QStringLiteral("other"), host.get());
        other->setObjectName(QStringLiteral("other"));
        other->setGeometry(320, 70, 60, 23);
        box->Setup();
        for (const QString &name : names)
            ids[name] = addNamedItem(box->catalog, name);
        box->delegate->setBigIcon(big);
        host->show();
        QVERIFY(QTest::qWaitForWindowExposed(host.get()));
        host->activateWindow();
        box->setFocus();
        QTRY_VERIFY(box->hasFocus());
    }

    QPoint origin() const { return box->mapToGlobal(QPoint(0, box->height())); }
    bool popupShown() const { return box->popupList->isVisible(); }

private slots:
    void initTestCase() { qRegisterMetaType<QMouseEvent *>(); }

    void cleanup()
    {
        host.reset();
        box = nullptr;
        other = nullptr;
    }

    void setupLoadsTheTopListAndAnnouncesIt()
    {
        {
            open({QStringLiteral("calc"), QStringLiteral("notepad")});
            launch(box->catalog, ids.value(QStringLiteral("notepad")), QStringLiteral("no"), 2);
            host.reset(); // writes data.db
        }
        SearchLineEdit second;
        QSignalSpy refresh(&second, &SearchLineEdit::RefreshTop);
        second.Setup();
        QCOMPARE(refresh.count(), 1);
        QCOMPARE(topItems.size(), 1);
        QCOMPARE(topItems.first().alias, QStringLiteral("notepad"));
        QCOMPARE(second.maxCount, 5);
        QVERIFY(!second.popupList->isVisible());
        QVERIFY(!second.editButton->isVisible());
        QCOMPARE(second.editButton->size(), QSize(24, 24));
        QCOMPARE(second.popupList->windowType(), Qt::ToolTip);
        QCOMPARE(second.editButton->windowType(), Qt::ToolTip);
    }

    void typingCompletesInline()
    {
        open({QStringLiteral("notepad"), QStringLiteral("calc")});
        QTest::keyClicks(box, QStringLiteral("no"));
        QCOMPARE(box->toPlainText(), QStringLiteral("notepad"));
        QCOMPARE(selected(box), QStringLiteral("tepad"));
        QCOMPARE(box->textCursor().position(), 2);
        QCOMPARE(box->textCursor().anchor(), 7);
        QVERIFY(popupShown());
        QCOMPARE(rowAliases(box), QStringList({"notepad"}));
        QCOMPARE(box->popupList->currentIndex().row(), 0);
        QCOMPARE(box->current.alias, QStringLiteral("notepad"));
        QCOMPARE(box->current.rowid, ids.value(QStringLiteral("notepad")));
        QVERIFY(box->editButton->isVisible());
        QCOMPARE(box->editButton->pos(), origin() + QPoint(280, 2));

        // The next letter replaces the completed tail and completes again.
        QTest::keyClick(box, Qt::Key_T);
        QCOMPARE(box->toPlainText(), QStringLiteral("notepad"));
        QCOMPARE(selected(box), QStringLiteral("epad"));
    }

    void capitalNameIsFoundButNotCompleted()
    {
        open({QStringLiteral("Notepad")});
        QTest::keyClicks(box, QStringLiteral("no"));
        QCOMPARE(box->toPlainText(), QStringLiteral("no"));
        QCOMPARE(selected(box), QString());
        QVERIFY(popupShown());
        QCOMPARE(rowAliases(box), QStringList({"Notepad"}));
        QCOMPARE(box->completion, QString());
        QCOMPARE(box->current.alias, QString());
    }

    void backspaceListsWithoutCompletingWhileThePopupIsOpen()
    {
        open({QStringLiteral("notepad"), QStringLiteral("piano"), QStringLiteral("calc")});
        QTest::keyClicks(box, QStringLiteral("no"));
        QCOMPARE(box->toPlainText(), QStringLiteral("notepad"));

        QTest::keyClick(box, Qt::Key_Backspace); // removes the completed tail
        QCOMPARE(box->toPlainText(), QStringLiteral("no"));
        QVERIFY(popupShown());
        QCOMPARE(rowAliases(box).size(), 2);
        QCOMPARE(box->current.alias, QString());

        QTest::keyClick(box, Qt::Key_Backspace);
        QCOMPARE(box->toPlainText(), QStringLiteral("n"));
        QVERIFY(popupShown());
        QCOMPARE(rowAliases(box).size(), 2);
        for (const APPBLOCK &row : box->model->items)
            QCOMPARE(row.key, QStringLiteral("n"));
    }

    void backspaceOnlyDeletesWhileThePopupIsClosed()
    {
        open({QStringLiteral("notepad"), QStringLiteral("nothing")});
        QTest::keyClicks(box, QStringLiteral("no"));
        QTest::keyClick(box, Qt::Key_Escape);
        QVERIFY(!popupShown());
        QSignalSpy refills(box->model, &QAbstractItemModel::modelReset);
        QTest::keyClick(box, Qt::Key_Backspace);
        QCOMPARE(box->toPlainText(), QStringLiteral("no"));
        QTest::keyClick(box, Qt::Key_Backspace);
        QCOMPARE(box->toPlainText(), QStringLiteral("n"));
        QVERIFY(!popupShown());
        QCOMPARE(refills.count(), 0);
        // Other keys that are not letters or digits do not search either.
        QTest::keyClicks(box, QStringLiteral(" -."));
        QTest::keyClick(box, Qt::Key_Left);
        QVERIFY(!popupShown());
        QCOMPARE(refills.count(), 0);
        // A letter does.
        QTest::keyClick(box, Qt::Key_End);
        QTest::keyClick(box, Qt::Key_O);
        QCOMPARE(refills.count(), 1);
    }

    void upAndDownWrapAround()
    {
        open({"note1", "note2", "note3", "note4", "note5"});
        QTest::keyClicks(box, QStringLiteral("note"));
        QCOMPARE(box->model->rowCount(), 5);
        QCOMPARE(box->popupList->currentIndex().row(), 0);

        QTest::keyClick(box, Qt::Key_Up);
        QCOMPARE(box->popupList->currentIndex().row(), 4);
        QCOMPARE(box->currentRow, 4);
        QCOMPARE(box->editButton->pos(), origin() + QPoint(280, 2 + 4 * 22));
        QTest::keyClick(box, Qt::Key_Down);
        QCOMPARE(box->popupList->currentIndex().row(), 0);
        QCOMPARE(box->currentRow, 0);
        QTest::keyClick(box, Qt::Key_Down);
        QTest::keyClick(box, Qt::Key_Down);
        QCOMPARE(box->popupList->currentIndex().row(), 2);
        QCOMPARE(box->editButton->pos(), origin() + QPoint(280, 2 + 2 * 22));
        QTest::keyClick(box, Qt::Key_Up);
        QCOMPARE(box->popupList->currentIndex().row(), 1);
        QVERIFY(box->popupList->selectionModel()->isSelected(box->model->index(1, 0)));
        QVERIFY(host->keys.isEmpty());
    }

    void returnChoosesTheHighlightedRow_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Return") << int(Qt::Key_Return);
        QTest::newRow("Enter") << int(Qt::Key_Enter);
    }

    void returnChoosesTheHighlightedRow()
    {
        QFETCH(int, key);
        open({"note1", "note2", "note3"});
        QTest::keyClicks(box, QStringLiteral("note"));
        QTest::keyClick(box, Qt::Key_Down);
        QTest::keyClick(box, Qt::Key_Down);
        const APPBLOCK chosen = box->model->items.at(2);

        QTest::keyPress(box, Qt::Key(key));
        QCOMPARE(box->toPlainText(), chosen.alias);
        QCOMPARE(selected(box), chosen.alias);
        QVERIFY(!popupShown());
        QVERIFY(!box->editButton->isVisible());
        QCOMPARE(box->current.rowid, chosen.rowid);
        QCOMPARE(box->current.alias, chosen.alias);
        QCOMPARE(box->current.path, chosen.path);
        QTest::keyRelease(box, Qt::Key(key));
        QCOMPARE(box->current.rowid, chosen.rowid);
        // Swallowed: no line break, nothing for the main window's key handling.
        QVERIFY(!box->toPlainText().contains(QLatin1Char('\n')));
        QVERIFY(host->keys.isEmpty());

        // With the popup closed, Return, Enter and Tab do nothing at all.
        QTest::keyClick(box, Qt::Key(key));
        QTest::keyClick(box, Qt::Key_Tab);
        QCOMPARE(box->toPlainText(), chosen.alias);
        QVERIFY(box->hasFocus());
        QVERIFY(host->keys.isEmpty());
    }

    void escapeClosesOnlyThePopup()
    {
        open({QStringLiteral("notepad")});
        QTest::keyClicks(box, QStringLiteral("no"));
        QSignalSpy hidden(box, &SearchLineEdit::HidePop);
        QTest::keyClick(box, Qt::Key_Escape);
        QVERIFY(!popupShown());
        QVERIFY(!box->editButton->isVisible());
        QCOMPARE(hidden.count(), 1);
        QCOMPARE(box->toPlainText(), QStringLiteral("notepad"));
        QVERIFY(host->keys.isEmpty());
        // The second Escape reaches the main window.
        QTest::keyClick(box, Qt::Key_Escape);
        QCOMPARE(host->keys, QList<int>({Qt::Key_Escape}));
        QCOMPARE(box->toPlainText(), QStringLiteral("notepad"));

        // Tab with the popup open is swallowed too.
        QTest::keyClick(box, Qt::Key_End);
        QTest::keyClick(box, Qt::Key_D);
        QVERIFY(!popupShown()); // "notepadd" finds nothing
        QTest::keyClick(box, Qt::Key_Backspace);
        box->setCompleter(box->toPlainText());
        QVERIFY(popupShown());
        QTest::keyClick(box, Qt::Key_Tab);
        QVERIFY(popupShown());
        QVERIFY(!box->toPlainText().contains(QLatin1Char('\t')));
    }

    void completedItemSurvivesEscapeAndReturn()
    {
        open({QStringLiteral("notepad"), QStringLiteral("calc")});
        QTest::keyClicks(box, QStringLiteral("no"));
        QTest::keyClick(box, Qt::Key_Escape);
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(box->current.alias, QStringLiteral("notepad"));
        QCOMPARE(box->current.rowid, ids.value(QStringLiteral("notepad")));
        QCOMPARE(box->toPlainText(), QStringLiteral("notepad"));
    }

    void queryWithoutRowsHidesThePopupAndClearsTheChoice()
    {
        open({QStringLiteral("notepad")});
        QTest::keyClicks(box, QStringLiteral("no"));
        QVERIFY(popupShown());
        QTest::keyClick(box, Qt::Key_End);
        QTest::keyClick(box, Qt::Key_X);
        QVERIFY(!popupShown());
        QVERIFY(!box->editButton->isVisible());
        QCOMPARE(box->current.alias, QString());
        QCOMPARE(box->model->rowCount(), 0);
        box->setCompleter(QStringLiteral("no"));
        QVERIFY(popupShown());
        box->setCompleter(QString());
        QVERIFY(!popupShown());
    }

    void popupAndEditButtonPlacement_data()
    {
        QTest::addColumn<bool>("big");
        QTest::addColumn<int>("rowHeight");
        QTest::newRow("small rows") << false << 22;
        QTest::newRow("big rows") << true << 40;
    }

    void popupAndEditButtonPlacement()
    {
        QFETCH(bool, big);
        QFETCH(int, rowHeight);
        open({"note1", "note2", "note3", "calc"}, big);
        QTest::keyClicks(box, QStringLiteral("note"));
        QCOMPARE(box->popupList->size(), QSize(280, 3 * rowHeight + 4));
        QCOMPARE(box->popupList->height(), big ? 124 : 70);
        QCOMPARE(box->popupList->pos(), box->mapToGlobal(QPoint(0, 23)));
        QCOMPARE(box->editButton->pos(), box->mapToGlobal(QPoint(280, 25)));
        QTest::keyClick(box, Qt::Key_Down);
        QCOMPARE(box->editButton->pos(), box->mapToGlobal(QPoint(280, 25 + rowHeight)));
        // All rows are visible at their places.
        for (int row = 0; row < 3; ++row)
            QCOMPARE(box->popupList->indexAt(QPoint(100, row * rowHeight + rowHeight / 2)).row(), row);

        // A shorter list length takes effect at the next query.
        box->SetMaxCmbCount(2);
        QCOMPARE(box->model->rowCount(), 3);
        box->setCompleter(QStringLiteral("note"));
        QCOMPARE(box->model->rowCount(), 2);
        QCOMPARE(box->popupList->height(), 2 * rowHeight + 4);
        // Switching the row size is used from the next query on.
        box->delegate->setBigIcon(!big);
        box->setCompleter(QStringLiteral("note"));
        QCOMPARE(box->popupList->height(), 2 * (big ? 22 : 40) + 4);
    }

    void pastingKeepsSixtySixCharactersAndSearchesThem()
    {
        const QString pasted = QStringLiteral("abcdefghij").repeated(8);
        const QString kept = pasted.left(66);
        open({QStringLiteral("Z") + kept, QStringLiteral("calc")});
        paste(box, pasted);
        QCOMPARE(box->toPlainText(), kept);
        QCOMPARE(box->textCursor().position(), 66);
        QVERIFY(popupShown());
        QCOMPARE(rowAliases(box), QStringList({QStringLiteral("Z") + kept}));
        QCOMPARE(box->model->items.first().key, kept);
    }

    void aSixtySeventhCharacterIsRemoved()
    {
        open({QStringLiteral("calc")});
        const QString full = QString(66, QLatin1Char('a'));
        box->setPlainText(full);
        QTextCursor cursor = box->textCursor();
        cursor.setPosition(10);
        box->setTextCursor(cursor);
        QTest::keyClick(box, Qt::Key_B);
        QCOMPARE(box->toPlainText(), full);
        QCOMPARE(box->textCursor().position(), 10);
        QTest::keyClick(box, Qt::Key_End);
        QTest::keyClicks(box, QStringLiteral("c1-"));
        QCOMPARE(box->toPlainText(), full);

        // Text the program sets as a whole keeps its first 66 characters.
        const QString longText = QStringLiteral("0123456789").repeated(8);
        box->setPlainText(longText);
        QCOMPARE(box->toPlainText(), longText.left(66));
        box->setPlainText(QString(66, QLatin1Char('x')));
        QCOMPARE(box->toPlainText().size(), 66);
    }

    // The limit never keeps half of a character outside the basic plane.
    void limitKeepsCharactersWhole()
    {
        open({QStringLiteral("calc")});
        const QString smiley = QString::fromUtf8("\xF0\x9F\x98\x80");
        box->setPlainText(QString(65, QLatin1Char('a')));
        box->moveCursor(QTextCursor::End);
        paste(box, smiley);
        QCOMPARE(box->toPlainText(), QString(65, QLatin1Char('a')));
        box->setPlainText(QString(64, QLatin1Char('a')));
        box->moveCursor(QTextCursor::End);
        paste(box, smiley + smiley);
        QCOMPARE(box->toPlainText(), QString(64, QLatin1Char('a')) + smiley);
        box->setPlainText(QString(65, QLatin1Char('a')) + smiley + QStringLiteral("b"));
        QCOMPARE(box->toPlainText(), QString(65, QLatin1Char('a')));
    }

    void ctrlAQueriesToo()
    {
        open({QStringLiteral("notepad")});
        box->setPlainText(QStringLiteral("note"));
        QVERIFY(!popupShown());
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QVERIFY(popupShown());
        QCOMPARE(box->toPlainText(), QStringLiteral("notepad"));
    }

    // Ctrl+A selects the whole text also when the box holds a completed name, with
    // the popup open or closed: the next letter replaces it.
    void ctrlASelectsACompletedName()
    {
        open({QStringLiteral("Terminal"), QStringLiteral("calc")});
        QTest::keyClicks(box, QStringLiteral("Te"));
        QCOMPARE(box->toPlainText(), QStringLiteral("Terminal"));
        QVERIFY(popupShown());
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(selected(box), QStringLiteral("Terminal"));
        QTest::keyClick(box, Qt::Key_C);
        QCOMPARE(box->toPlainText(), QStringLiteral("calc"));
        QCOMPARE(selected(box), QStringLiteral("alc"));

        QTest::keyClick(box, Qt::Key_Escape);
        QVERIFY(!popupShown());
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(selected(box), QStringLiteral("calc"));
        QTest::keyClicks(box, QStringLiteral("T"));
        QCOMPARE(box->toPlainText(), QStringLiteral("Terminal"));
        // A shortcut that types nothing leaves the selection as it was.
        QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(selected(box), QStringLiteral("erminal"));
    }

    // A letter or digit of any script searches as A-Z does, typed on the layout's
    // key (which reports the character, not a Latin key code) or committed by an
    // input method.
    void lettersOfAnyScriptSearch_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("typed");
        QTest::newRow("Cyrillic") << QString::fromUtf8(
                                         "\xD0\x91\xD0\xBB\xD0\xBE\xD0\xBA\xD0\xBD\xD0\xBE\xD1\x82")
                                  << QString::fromUtf8("\xD0\x91\xD0\xBB");
        QTest::newRow("Greek") << QString::fromUtf8(
                                      "\xCE\xA3\xCE\xB7\xCE\xBC\xCE\xB5\xCE\xAF\xCF\x89\xCF\x83\xCE\xB7")
                               << QString::fromUtf8("\xCE\xA3\xCE\xB7");
        QTest::newRow("Hebrew") << QString::fromUtf8("\xD7\xA4\xD7\xA0\xD7\xA7\xD7\xA1")
                                << QString::fromUtf8("\xD7\xA4\xD7\xA0");
        QTest::newRow("Arabic") << QString::fromUtf8("\xD8\xAF\xD9\x81\xD8\xAA\xD8\xB1")
                                << QString::fromUtf8("\xD8\xAF\xD9\x81");
        QTest::newRow("accented") << QString::fromUtf8("\xC3\xA9"
                                                       "diteur")
                                  << QString::fromUtf8("\xC3\xA9");
        QTest::newRow("Arabic-Indic digit") << QString::fromUtf8("\xD9\xA3"
                                                                 "d")
                                            << QString::fromUtf8("\xD9\xA3");
    }

    void lettersOfAnyScriptSearch()
    {
        QFETCH(QString, name);
        QFETCH(QString, typed);
        open({name, QStringLiteral("calc")});
        QSignalSpy refills(box->model, &QAbstractItemModel::modelReset);
        for (const QChar c : typed) {
            // As the X11 and Wayland keyboards report them: the key code is the
            // character in capitals, the text the character typed.
            QTest::sendKeyEvent(QTest::Click, box, Qt::Key(c.toUpper().unicode()), QString(c),
                                Qt::NoModifier);
        }
        QCOMPARE(refills.count(), typed.size());
        QVERIFY(popupShown());
        QCOMPARE(rowAliases(box), QStringList({name}));
        QCOMPARE(box->toPlainText(), name);
        QCOMPARE(selected(box), name.mid(typed.size()));
        QCOMPARE(box->current.alias, name);

        // Punctuation of those layouts still does not search.
        QTest::keyClick(box, Qt::Key_Escape);
        QTest::keyClick(box, Qt::Key_End);
        const int before = int(refills.count());
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key(0x060C), QString(QChar(0x060C)), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key_guillemotleft, QString(QChar(0xAB)), Qt::NoModifier);
        QCOMPARE(refills.count(), before);
        QVERIFY(!popupShown());
    }

    void inputMethodCommitsSearch()
    {
        const QString notebook = QString::fromUtf8("\xE8\xAE\xB0\xE4\xBA\x8B\xE6\x9C\xAC"); // ji shi ben
        const QString memo = QString::fromUtf8("\xEB\xA9\x94\xEB\xAA\xA8\xEC\x9E\xA5");     // me mo jang
        open({notebook, memo, QStringLiteral("calc")});
        QSignalSpy refills(box->model, &QAbstractItemModel::modelReset);
        const auto send = [this](const QString &preedit, const QString &commit) {
            QInputMethodEvent event(preedit, {});
            event.setCommitString(commit);
            QApplication::sendEvent(box, &event);
        };

        // Composing alone does not search; the commit does, and completes.
        send(QStringLiteral("ji"), QString());
        QCOMPARE(refills.count(), 0);
        send(QString(), notebook.left(2));
        QCOMPARE(refills.count(), 1);
        QVERIFY(popupShown());
        QCOMPARE(rowAliases(box), QStringList({notebook}));
        QCOMPARE(box->toPlainText(), notebook);
        QCOMPARE(selected(box), notebook.mid(2));

        // A commit with the next syllable still being composed lists without
        // completing, so the composition is not disturbed.
        box->clear();
        send(QString(), memo.left(1));
        QCOMPARE(box->toPlainText(), memo);
        box->clear();
        const int before = int(refills.count());
        send(memo.mid(1, 1), memo.left(1));
        QCOMPARE(refills.count(), before + 1);
        QCOMPARE(box->toPlainText(), memo.left(1));
        QCOMPARE(rowAliases(box), QStringList({memo}));

        // Committed punctuation does not search.
        box->clear();
        QTest::keyClick(box, Qt::Key_Escape);
        send(QString(), QString::fromUtf8("\xE3\x80\x82")); // ideographic full stop
        QCOMPARE(refills.count(), before + 1);
        QVERIFY(!popupShown());
    }

    // Pasted or dropped text becomes one line: breaks and tabs as blanks, those at
    // the end dropped; then the length limit applies. Ctrl+V searches for it.
    void pastedTextBecomesOneLine_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<bool>("found");
        QTest::newRow("trailing break") << "keys"
                                        << "notepad\n"
                                        << "notepad" << true;
        QTest::newRow("break inside") << "keys"
                                      << "note\npad"
                                      << "note pad" << false;
        QTest::newRow("CRLF and tab") << "keys"
                                      << "note\r\npad\t\r\n"
                                      << "note pad" << false;
        QTest::newRow("leading tab") << "keys"
                                     << "\tnotepad"
                                     << " notepad" << false;
        QTest::newRow("separators") << "keys"
                                    << "note\u2028pad\u2029"
                                    << "note pad" << false;
        QTest::newRow("blank kept") << "keys"
                                    << "notepad \n\n"
                                    << "notepad " << false;
        QTest::newRow("only breaks") << "keys"
                                     << "\n\r\n\t"
                                     << "" << false;
        QTest::newRow("menu paste") << "menu"
                                    << "notepad\n"
                                    << "notepad" << false;
        QTest::newRow("drop") << "drop"
                              << "note\npad\n"
                              << "note pad" << false;
        QTest::newRow("input method") << "ime"
                                      << "note\npad\n"
                                      << "note pad" << false;
        const QString longLines = QStringLiteral("0123456789\n").repeated(7);
        QTest::newRow("limit after joining")
            << "keys" << longLines << QStringLiteral("0123456789 ").repeated(6) << false;
    }

    void pastedTextBecomesOneLine()
    {
        QFETCH(QString, how);
        QFETCH(QString, pasted);
        QFETCH(QString, kept);
        QFETCH(bool, found);
        open({QStringLiteral("notepad"), QStringLiteral("calc")});

        if (how == QLatin1String("keys")) {
            paste(box, pasted);
        } else if (how == QLatin1String("menu")) {
            QGuiApplication::clipboard()->setText(pasted);
            box->paste(); // what the context menu's Paste runs
        } else if (how == QLatin1String("drop")) {
            auto data = std::make_unique<QMimeData>();
            data->setText(pasted);
            const QPoint at(5, 5);
            QDragEnterEvent enter(at, Qt::CopyAction, data.get(), Qt::LeftButton, {});
            QApplication::sendEvent(box->viewport(), &enter);
            QDragMoveEvent move(at, Qt::CopyAction, data.get(), Qt::LeftButton, {});
            QApplication::sendEvent(box->viewport(), &move);
            QDropEvent drop(at, Qt::CopyAction, data.get(), Qt::LeftButton, {});
            QApplication::sendEvent(box->viewport(), &drop);
        } else {
            QInputMethodEvent event(QString(), {});
            event.setCommitString(pasted);
            QApplication::sendEvent(box, &event);
        }
        QCOMPARE(box->toPlainText(), kept);
        QCOMPARE(box->document()->blockCount(), 1);
        QVERIFY(!box->toPlainText().contains(QChar::LineSeparator));
        if (found) {
            QVERIFY(popupShown());
            QCOMPARE(rowAliases(box), QStringList({QStringLiteral("notepad")}));
        }
        // Pasting from the menu and dropping put the text in without searching.
        if (how == QLatin1String("menu") || how == QLatin1String("drop"))
            QVERIFY(!popupShown());
    }

    void focusInSelectsAll()
    {
        open({QStringLiteral("notepad")});
        box->setPlainText(QStringLiteral("hello"));
        other->setFocus();
        QTRY_VERIFY(other->hasFocus());
        box->setFocus();
        QTRY_VERIFY(box->hasFocus());
        QCOMPARE(selected(box), QStringLiteral("hello"));
    }

    void popupListReportsTheMouse()
    {
        open({"note1", "note2", "note3"});
        QTest::keyClicks(box, QStringLiteral("note"));
        QListComp *list = box->popupList;
        QSignalSpy focus(list, &QListComp::listfocus);
        QSignalSpy moves(list, &QListComp::mouseMoveSignal);
        QSignalSpy entered(list, &QAbstractItemView::entered);

        enter(list, QPoint(60, 12));
        QTRY_VERIFY(focus.count() >= 1);
        QVERIFY(box->listHasMouse);
        hover(list->viewport(), QPoint(60, 30));
        hover(list->viewport(), QPoint(61, 50));
        // Moves without a button arrive, each one reported.
        QTRY_VERIFY(moves.count() >= 2);
        const int movesSoFar = int(moves.count());
        hover(list->viewport(), QPoint(62, 51));
        QTRY_COMPARE(moves.count(), movesSoFar + 1);
        QCOMPARE(entered.count(), 0); // the view's own hover handling stays out
        // While the pointer is inside, the list only ever reports "inside".
        for (const auto &signal : focus)
            QCOMPARE(signal.at(0).toBool(), true);
        QVERIFY(box->listHasMouse);

        const int before = int(focus.count());
        leave(list, host.get(), QPoint(20, 20));
        QTRY_VERIFY(focus.count() > before);
        for (qsizetype i = before; i < focus.count(); ++i)
            QCOMPARE(focus.at(i).at(0).toBool(), false);
        QVERIFY(!box->listHasMouse);
    }

    void hoverHighlightsTheRowUnderTheMouse_data()
    {
        QTest::addColumn<bool>("big");
        QTest::newRow("small rows") << false;
        QTest::newRow("big rows") << true;
    }

    void hoverHighlightsTheRowUnderTheMouse()
    {
        QFETCH(bool, big);
        open({"note1", "note2", "note3"}, big);
        const int h = big ? 40 : 22;
        QTest::keyClicks(box, QStringLiteral("note"));
        hover(box->popupList->viewport(), QPoint(50, 2 * h + 5));
        QTRY_COMPARE(box->popupList->currentIndex().row(), 2);
        QCOMPARE(box->currentRow, 2);
        QCOMPARE(box->editButton->pos(), origin() + QPoint(280, 2 + 2 * h));
        const APPBLOCK row = box->model->items.at(2);
        QTRY_COMPARE(QToolTip::text(), row.alias + QStringLiteral("\r\n") + row.path);

        // Below the last row nothing changes.
        hover(box->popupList->viewport(), QPoint(50, 3 * h + 1));
        QCOMPARE(box->popupList->currentIndex().row(), 2);
        hover(box->popupList->viewport(), QPoint(50, 1));
        QTRY_COMPARE(box->popupList->currentIndex().row(), 0);
        QCOMPARE(box->editButton->pos(), origin() + QPoint(280, 2));
    }

    // The tooltip of a desktop entry's row shows what the entry starts.
    void tooltipShowsWhatADesktopEntryStarts()
    {
        open({});
        const QString entry = writeRawDesktopEntry(
            QStringLiteral("org.example.Editor.desktop"),
            "[Desktop Entry]\nType=Application\nName=Editor\nExec=\"/opt/My Editor/edit\" -n %U\n",
            TestSandbox::path(QStringLiteral("entries")));
        QVERIFY(!addItem(box->catalog, QStringLiteral("Editor"), entry).isEmpty());
        QTest::keyClicks(box, QStringLiteral("edi"));
        QTRY_VERIFY(box->popupList->isVisible());
        hover(box->popupList->viewport(), QPoint(50, 5));
        QTRY_COMPARE(QToolTip::text(), QStringLiteral("Editor\r\n\"/opt/My Editor/edit\" -n"));
        QCOMPARE(box->model->items.at(0).path, entry);
    }

    void clickIntoThePopupKeepsItOpen()
    {
        open({"note1", "note2", "note3"});
        QTest::keyClicks(box, QStringLiteral("note"));
        QListComp *list = box->popupList;
        const QPoint rowOne(60, 22 + 10);
        enter(list, list->viewport()->mapTo(list, rowOne));
        QTRY_VERIFY(box->listHasMouse);

        // The press takes the focus from the box; the popup stays.
        QTest::mousePress(list->viewport(), Qt::LeftButton, {}, rowOne);
        other->setFocus(Qt::MouseFocusReason);
        QTRY_VERIFY(!box->hasFocus());
        QVERIFY(popupShown());
        QVERIFY(box->editButton->isVisible());

        // The release completes the click: the row is chosen and the popup closes.
        const APPBLOCK row = box->model->items.at(1);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, rowOne);
        QVERIFY(!popupShown());
        QCOMPARE(box->current.rowid, row.rowid);
        QCOMPARE(box->toPlainText(), row.alias);
    }

    void focusLossWithThePointerOnTheEditButtonKeepsThePopup()
    {
        open({"note1", "note2"});
        QTest::keyClicks(box, QStringLiteral("note"));
        QCursor::setPos(box->editButton->mapToGlobal(QPoint(12, 12)));
        QTRY_COMPARE(QApplication::widgetAt(QCursor::pos()), box->editButton);
        other->setFocus(Qt::MouseFocusReason);
        QTRY_VERIFY(!box->hasFocus());
        QVERIFY(popupShown());
    }

    void clickElsewhereClosesThePopup()
    {
        open({"note1", "note2"});
        QTest::keyClicks(box, QStringLiteral("note"));
        QVERIFY(popupShown());
        QCursor::setPos(other->mapToGlobal(QPoint(10, 10)));
        QSignalSpy hidden(box, &SearchLineEdit::HidePop);
        QTest::mouseClick(other, Qt::LeftButton, {}, QPoint(10, 10));
        QTRY_VERIFY(!popupShown());
        QVERIFY(!box->editButton->isVisible());
        QCOMPARE(hidden.count(), 1);
    }

    void hideMeClosesThePopup()
    {
        open({"note1", "note2"});
        QTest::keyClicks(box, QStringLiteral("note"));
        QVERIFY(popupShown());
        QSignalSpy hidden(box, &SearchLineEdit::HidePop);
        box->HideMe();
        QVERIFY(!popupShown());
        QVERIFY(!box->editButton->isVisible());
        QCOMPARE(hidden.count(), 1);
        QCOMPARE(box->toPlainText(), QStringLiteral("note2"));
    }

    void hidingTheWindowClosesThePopup()
    {
        open({"note1", "note2"});
        QTest::keyClicks(box, QStringLiteral("note"));
        enter(box->popupList, QPoint(40, 10));
        QTRY_VERIFY(box->listHasMouse);
        host->hide();
        QVERIFY(!popupShown());
        QVERIFY(!box->editButton->isVisible());
    }

    // The alias editor, answered from within its modal run.
    void aliasEditor_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("Enter in the field") << "enter" << true;
        QTest::newRow("OK button") << "ok" << true;
        QTest::newRow("empty name") << "empty" << true;
        QTest::newRow("Cancel button") << "cancel" << false;
        QTest::newRow("Escape") << "escape" << false;
        QTest::newRow("Return on Cancel") << "return on Cancel" << false;
        QTest::newRow("popup hides") << "hide" << false;
    }

    void aliasEditor()
    {
        QFETCH(QString, how);
        QFETCH(bool, accepted);
        open({QStringLiteral("calc"), QStringLiteral("calendar")});
        QTest::keyClicks(box, QStringLiteral("cal"));
        QTest::keyClick(box, Qt::Key_Down);
        const int row = 1;
        const APPBLOCK before = box->model->items.at(row);
        const QString wanted = how == QLatin1String("empty") ? QString() : QStringLiteral("Calculator 2");
        const QStringList catalogBefore = snapshot();

        QString shownText;
        bool fieldHasFocus = false;
        QPoint shownAt;
        QSize shownSize;
        Qt::WindowFlags shownFlags;
        int result = -1;
        QString newText;
        bool stillOpenAfterPress = true;
        whenModalShows<QListEdit>([&](QListEdit *editor) {
            shownText = editor->textField->text();
            fieldHasFocus = editor->focusWidget() == editor->textField;
            shownAt = editor->pos();
            shownSize = editor->size();
            shownFlags = editor->windowFlags();
            editor->textField->selectAll();
            QTest::keyClick(editor->textField, Qt::Key_Delete);
            QTest::keyClicks(editor->textField, wanted);
            if (how == QLatin1String("enter")) {
                // The editor closes on the release of the key, which so ends there.
                QTest::keyPress(editor->textField, Qt::Key_Return);
                stillOpenAfterPress = editor->isVisible();
                QTest::keyRelease(editor->textField, Qt::Key_Return);
            } else if (how == QLatin1String("return on Cancel")) {
                editor->cancelButton->setFocus();
                QTest::keyClick(editor->cancelButton, Qt::Key_Return);
            } else if (how == QLatin1String("ok") || how == QLatin1String("empty"))
                QTest::mouseClick(editor->okButton, Qt::LeftButton);
            else if (how == QLatin1String("cancel"))
                QTest::mouseClick(editor->cancelButton, Qt::LeftButton);
            else if (how == QLatin1String("escape"))
                QTest::keyClick(editor->textField, Qt::Key_Escape);
            else
                box->HideMe();
            result = editor->result();
            newText = editor->newText;
            if (editor->isVisible())
                editor->reject(); // never leave the run hanging
        });
        QSignalSpy changed(box, &SearchLineEdit::dataChanged);
        QCursor::setPos(box->editButton->mapToGlobal(QPoint(12, 12)));
        QTest::mouseClick(box->editButton, Qt::LeftButton);

        QCOMPARE(shownText, before.alias);
        QVERIFY(fieldHasFocus);
        QCOMPARE(shownAt, origin() + QPoint(35, 20 + row * 22));
        QCOMPARE(shownSize, QSize(270, 50));
        QCOMPARE(shownFlags, Qt::ToolTip | Qt::FramelessWindowHint);
        QVERIFY(stillOpenAfterPress);
        QCOMPARE(result, int(accepted ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(newText, accepted ? wanted : QString());
        QVERIFY(QApplication::topLevelWidgets().count() > 0);
        QVERIFY(!findChild<QListEdit *>());

        if (accepted) {
            QCOMPARE(box->model->items.at(row).alias, wanted);
            QCOMPARE(box->model->data(box->model->index(row, 0)).value<APPBLOCK>().alias, wanted);
            QCOMPARE(box->model->items.at(row).rowid, before.rowid);
            QCOMPARE(changed.count(), 1);
            QCOMPARE(changed.at(0).at(0).toModelIndex().row(), row);
            QCOMPARE(changed.at(0).at(1).toModelIndex().row(), row);
            QCOMPARE(rows(QStringLiteral("SELECT alias FROM ITEMBOX WHERE rowid = ") + before.rowid),
                     QStringList({wanted}));
            if (!wanted.isEmpty())
                QCOMPARE(search(box->catalog, wanted), QStringList({wanted}));
            QCOMPARE(topItems.size(), 0);
        } else {
            QCOMPARE(box->model->items.at(row).alias, before.alias);
            QCOMPARE(changed.count(), 0);
            QCOMPARE(snapshot(), catalogBefore);
        }
    }

    // The editor's buttons carry their images and no text; the tab order is OK,
    // Cancel, the field, so Enter in the field confirms through OK.
    void aliasEditorButtons()
    {
        QListEdit editor(nullptr, QStringLiteral("calc"));
        QCOMPARE(editor.newText, QString());
        for (QPushButton *button : {editor.okButton, editor.cancelButton}) {
            QVERIFY(button->text().isEmpty());
            QVERIFY(!button->icon().pixmap(16, 16).isNull());
        }
        QCOMPARE(editor.okButton->nextInFocusChain(), editor.cancelButton);
        QCOMPARE(editor.cancelButton->nextInFocusChain(), editor.textField);
    }

    // Any text at all goes through the box: typed, pasted or queried, nothing
    // crashes or hangs, the box keeps its limit and every row shows the text.
    void badInput_data()
    {
        QTest::addColumn<QString>("text");
        const QStringList texts = CatalogFixture::badTexts();
        for (const QString &text : texts)
            QTest::newRow(text.toUtf8().toHex().left(40).constData()) << text;
    }

    void badInput()
    {
        QFETCH(QString, text);
        open({"a OR b", "say \"hi\"", "100% sure", "C:\\Windows\\notepad", "under_score",
              "'; DROP TABLE ITEMBOX; --", QString(66, QLatin1Char('a')),
              QString::fromUtf8("caf\xC3\xA9 \xF0\x9F\x98\x80"),
              QString::fromUtf8("\xD7\xA2\xD7\x91\xD7\xA8\xD7\x99\xD7\xAA"), "NEAR and far", "notepad"});
        const int items = int(rows(QStringLiteral("SELECT count(*) FROM ITEMBOX")).first().toInt());

        auto check = [&]() {
            QVERIFY(box->toPlainText().size() <= 66);
            QVERIFY(box->model->rowCount() <= box->maxCount);
            if (popupShown()) {
                QVERIFY(box->model->rowCount() > 0);
                box->popupList->viewport()->repaint();
            }
            for (const APPBLOCK &row : box->model->items)
                QVERIFY(!row.alias.isNull());
        };

        type(box, text); // typed
        check();
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        paste(box, text); // pasted over the selection
        check();
        QTest::keyClick(box, Qt::Key_End);
        paste(box, text + text); // pasted after it
        check();
        box->setCompleter(text); // and the query as such
        check();
        QTest::keyClick(box, Qt::Key_Down);
        QTest::keyClick(box, Qt::Key_Return);
        check();
        QCOMPARE(rows(QStringLiteral("SELECT count(*) FROM ITEMBOX")).first().toInt(), items);

        // The box still works afterwards.
        box->clear();
        QTest::keyClicks(box, QStringLiteral("notep"));
        QCOMPARE(box->toPlainText(), QStringLiteral("notepad"));
    }
};

TOLVANE_TEST_MAIN(TestSearchBox)
#include "test_searchbox.moc"
