#ifndef DECODEVIEW_H
#define DECODEVIEW_H
// What the decoded-result list asks of the logic waveform view: where the
// view starts, and bringing a decoded frame into it. The display generator
// implements it, so the list needs none of the view's own classes.

class DecodeView
{
public:
    // Sample under logical pixel 0 of the view.
    virtual double viewStart() const = 0;
    // Brings the samples beg..end of a decoded frame into the view.
    virtual void moveDecode(double beg, double end) = 0;

protected:
    ~DecodeView() = default;
};

#endif
