// A list's columns fitted to their contents: at once on a list on the screen, when it is shown
// for a list nobody sees yet, and never over a width the program set after asking for the fit.
#include "platform/ListView.h"
#include "support/TestEnv.h"

using namespace vb;

class TestListView : public QObject {
    Q_OBJECT
private slots:
    void fitsWhatItShows_data()
    {
        QTest::addColumn<bool>("shownFirst");
        QTest::addColumn<int>("setAfter"); // twips set after the fit; 0: none
        QTest::newRow("on the screen") << true << 0;
        QTest::newRow("hidden until all rows are in") << false << 0;
        QTest::newRow("hidden, then a width set") << false << 900;
    }
    void fitsWhatItShows()
    {
        QFETCH(bool, shownFirst);
        QFETCH(int, setAfter);
        ListView list;
        list.AddColumn(QStringLiteral("Name"), 300);
        if (shownFirst)
            list.show();
        list.AddItem(-1, QString(), QStringLiteral("short"));
        list.FitColumn(0, true);
        const int fittedShort = list.ColumnWidthTwips(0);
        list.AddItem(-1, QString(), QStringLiteral("a much longer name than the first row had"));
        const int fittedLong = list.ColumnWidthTwips(0);
        if (setAfter)
            list.SetColumnWidthTwips(0, setAfter);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        if (setAfter)
            QCOMPARE(list.ColumnWidthTwips(0), setAfter);
        else if (shownFirst)
            QCOMPARE(list.ColumnWidthTwips(0), fittedShort); // fitted when asked, as it was then
        else
            QCOMPARE(list.ColumnWidthTwips(0), fittedLong); // fitted when shown, to every row
        QVERIFY(fittedLong > fittedShort || shownFirst);
    }
};

ALMBRO_GUI_TEST_MAIN(TestListView)
#include "test_listview.moc"
