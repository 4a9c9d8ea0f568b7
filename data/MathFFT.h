#ifndef MATHFFT_H
#define MATHFFT_H
// Radix-2 fast Fourier transform of complex doubles, with its inverse.

#include <QObject>
#include <QString>
#include <QVector>

struct complex {
    double re;
    double im;
};

class MathFFT : public QObject
{
    Q_OBJECT
public:
    // Transforms the input, writes the forward result to debugFile (one
    // "re im" pair per line; empty = the default test-data file beside the
    // program), then runs the inverse. Sizes that are not a power of two
    // (or below 1) are refused: nothing is transformed or written.
    explicit MathFFT(QVector<double> input, QObject* parent = nullptr, const QString& debugFile = QString());

    // In-place transforms of the working data; false when the size is refused.
    bool FFT();
    bool IFFT();
    void Reverse(complex* data);

    static complex add(complex a, complex b);
    static complex sub(complex a, complex b);
    static complex mul(complex a, complex b);

    static bool isValidSize(int n);
    static QString defaultDebugFile();

    int size() const { return N; }
    const QVector<complex>& data() const { return dataC; }
    const QVector<double>& result() const { return resultR; }

private:
    void fillTwiddles(double sign);
    void butterflies();

    int N;
    int B;                     // stage count, log2 N
    QVector<complex> W;        // twiddles, N/2
    QVector<complex> dataC;    // working data, N
    QVector<double> resultR;   // real part of the inverse, N
};

#endif
