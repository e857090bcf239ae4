#include "view/labelnumber.h"

#include <QTest>
#include <limits>

class TestLabelNumber : public QObject {
    Q_OBJECT

private slots:
    void parses_data();
    void parses();
};

void TestLabelNumber::parses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    constexpr int max = std::numeric_limits<int>::max();
    constexpr int min = std::numeric_limits<int>::min();

    QTest::newRow("plain") << "12" << 12;
    QTest::newRow("negative") << "-7" << -7;
    QTest::newRow("plus sign") << "+15" << 15;
    QTest::newRow("leading white space") << " \t\n\v\f\r42" << 42;
    QTest::newRow("trailing text ignored") << "5abc" << 5;
    QTest::newRow("stops at a space") << "1 2" << 1;
    QTest::newRow("letters only") << "abc" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("sign only") << "-" << 0;
    QTest::newRow("space after sign") << "- 4" << 0;
    QTest::newRow("two signs") << "+-4" << 0;
    QTest::newRow("leading zeros") << "0007" << 7;
    QTest::newRow("no hexadecimal") << "0x1F" << 0;
    QTest::newRow("non-ASCII digits stop") << QString::fromUtf16(u"3\u0664") << 3;
    QTest::newRow("largest") << "2147483647" << max;
    QTest::newRow("smallest") << "-2147483648" << min;
    QTest::newRow("one above clamps") << "2147483648" << max;
    QTest::newRow("one below clamps") << "-2147483649" << min;
    QTest::newRow("far above clamps") << "99999999999999999999999999" << max;
    QTest::newRow("far below clamps") << "-99999999999999999999999999" << min;
    QTest::newRow("zero after overflow digits") << "-0000000000000000000001" << -1;
}

void TestLabelNumber::parses()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(parseLabelNumber(text), value);
}

QTEST_APPLESS_MAIN(TestLabelNumber)
#include "tst_labelnumber.moc"
