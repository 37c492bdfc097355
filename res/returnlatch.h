#pragma once

class QKeyEvent;

// Acts on the release of a key pressed here rather than on its press: a window
// that closes or starts something on the press would leave the release to the
// window that gets the keyboard next (the main window starts the chosen item on
// the release of Return), and the release of a press that ended in another window
// (a message box answered with Return) must not act here. A held key repeats its
// press and release; repeats neither arm nor fire: one action per press.
class ReturnLatch
{
public:
    // Return or Enter (the keypad's).
    static bool isReturn(int key);
    // Return or Enter with no modifier but the keypad's.
    static bool isPlainReturn(const QKeyEvent *event);

    // A press (not a repeat) arms the latch for its key.
    void press(const QKeyEvent *event);
    // True, once, for the release (not a repeat) of the key that armed the latch.
    bool release(const QKeyEvent *event);
    // Forgets a press whose release will not come here (the focus left).
    void reset() { armed = 0; }

private:
    int armed = 0;
};
