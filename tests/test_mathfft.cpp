#include <QtTest>

#include <cmath>
#include <complex>
#include <random>

#include "data/MathFFT.h"

namespace {

// Naive DFT with full-precision 2 pi.
QVector<std::complex<double>> dft(const QVector<double>& x)
{
    const int n = x.size();
    QVector<std::complex<double>> out(n);
    for (int k = 0; k < n; ++k) {
        std::complex<double> sum = 0;
        for (int t = 0; t < n; ++t)
            sum += x[t] * std::polar(1.0, -2 * M_PI * double(k) * t / n);
        out[k] = sum;
    }
    return out;
}

QVector<std::complex<double>> readDebugFile(const QString& path)
{
    QVector<std::complex<double>> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return out;
    while (!f.atEnd()) {
        const QList<QByteArray> parts = f.readLine().trimmed().split(' ');
        if (parts.size() == 2)
            out.append(std::complex<double>(parts[0].toDouble(), parts[1].toDouble()));
    }
    return out;
}

} // namespace

class TestMathFFT : public QObject
{
    Q_OBJECT
private slots:
    void matchesNaiveDft_data()
    {
        QTest::addColumn<int>("n");
        for (int n : {1, 2, 4, 8, 64, 256})
            QTest::newRow(qPrintable(QString::number(n))) << n;
    }
    void matchesNaiveDft()
    {
        QFETCH(int, n);
        std::mt19937 rng(n);
        std::uniform_real_distribution<double> dist(-1, 1);
        QVector<double> x(n);
        for (double& v : x)
            v = dist(rng);
        QTemporaryDir dir;
        const QString path = dir.filePath("fft.txt");
        MathFFT fft(x, nullptr, path);
        const QVector<std::complex<double>> got = readDebugFile(path);
        const QVector<std::complex<double>> expect = dft(x);
        QCOMPARE(got.size(), n);
        // The routine's 2 pi is short by about 5e-7 (relative 1e-7): allow
        // for the phase error that grows with the index.
        const double tol = 1e-5 * n;
        for (int k = 0; k < n; ++k)
            QVERIFY2(std::abs(got[k] - expect[k]) < tol,
                     qPrintable(QString("k=%1 got %2 expected %3").arg(k).arg(got[k].real()).arg(expect[k].real())));
        // The inverse restores the input.
        QCOMPARE(fft.result().size(), n);
        for (int i = 0; i < n; ++i)
            QVERIFY(std::abs(fft.result()[i] - x[i]) < 1e-9);
    }

    void constantSequence()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("fft.txt");
        MathFFT fft(QVector<double>(16, 1.0), nullptr, path);
        const QVector<std::complex<double>> got = readDebugFile(path);
        QCOMPARE(got.size(), 16);
        QVERIFY(std::abs(got[0] - 16.0) < 1e-9);
        for (int k = 1; k < 16; ++k)
            QVERIFY(std::abs(got[k]) < 1e-5);
        for (double v : fft.result())
            QVERIFY(std::abs(v - 1.0) < 1e-9);
    }

    void largeSizeNoIndexOverflow()
    {
        // 2^17 points: the twiddle index product passes 2^31.
        const int n = 1 << 17;
        QVector<double> x(n);
        for (int i = 0; i < n; ++i)
            x[i] = std::sin(2 * M_PI * 1000.0 * i / n);
        QTemporaryDir dir;
        MathFFT fft(x, nullptr, dir.filePath("fft.txt"));
        for (int i = 0; i < n; i += 997)
            QVERIFY(std::abs(fft.result()[i] - x[i]) < 1e-6);
        // The working data now hold n times the input; forward again: the
        // tone sits in bin 1000 (and its mirror).
        QVERIFY(fft.FFT());
        const complex& peak = fft.data()[1000];
        QVERIFY(std::abs(std::hypot(peak.re, peak.im) / n - n / 2.0) < n * 1e-3);
        const complex& off = fft.data()[3000];
        QVERIFY(std::hypot(off.re, off.im) / n < n * 1e-3);
    }

    void inverseWithoutForward()
    {
        QTemporaryDir dir;
        MathFFT fft(QVector<double>{0, 1, 0, 0}, nullptr, dir.filePath("a.txt"));
        // The working data now hold 4 x [0, 1, 0, 0]. An inverse with no
        // forward run before it must still be an inverse (conjugate
        // twiddles): 4 x e^(+i 2 pi k / 4) = 4, 4i, -4, -4i.
        QVERIFY(fft.IFFT());
        const double re[4] = {4, 0, -4, 0}, im[4] = {0, 4, 0, -4};
        for (int k = 0; k < 4; ++k) {
            QVERIFY(std::abs(fft.data()[k].re - re[k]) < 1e-5);
            QVERIFY(std::abs(fft.data()[k].im - im[k]) < 1e-5);
            QVERIFY(std::abs(fft.result()[k] - re[k] / 4) < 1e-5);
        }
        // And again: still the inverse.
        QVERIFY(fft.IFFT());
        QVERIFY(std::abs(fft.data()[3].re - 16) < 1e-4);
    }

    void refusedSizes_data()
    {
        QTest::addColumn<int>("n");
        QTest::newRow("empty") << 0;
        QTest::newRow("three") << 3;
        QTest::newRow("hundred") << 100;
    }
    void refusedSizes()
    {
        QFETCH(int, n);
        QTemporaryDir dir;
        const QString path = dir.filePath("fft.txt");
        QTest::ignoreMessage(QtWarningMsg, qPrintable(QString("MathFFT: size %1 is not a power of two").arg(n)));
        MathFFT fft(QVector<double>(n, 2.0), nullptr, path);
        QVERIFY(!fft.FFT());
        QVERIFY(!fft.IFFT());
        QVERIFY(fft.result().isEmpty());
        QVERIFY(!QFile::exists(path));
    }

    void complexHelpers()
    {
        const complex a{1, 2}, b{3, -4};
        const complex m = MathFFT::mul(a, b);
        QCOMPARE(m.re, 11.0);
        QCOMPARE(m.im, 2.0);
        QCOMPARE(MathFFT::add(a, b).re, 4.0);
        QCOMPARE(MathFFT::sub(a, b).im, 6.0);
    }
};

QTEST_MAIN(TestMathFFT)
#include "test_mathfft.moc"
