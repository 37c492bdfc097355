#include "testmain.h"
#include "windowblending.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

// Whether the X server has a compositing manager, asked as a running program asks
// it: a second client stands in for the compositing manager by taking (and
// giving up) the selection a compositing manager owns.
class TestWindowBlending : public QObject
{
    Q_OBJECT

    // A client holding _NET_WM_CM_S0 with a window of its own.
    struct StandInCompositor
    {
        StandInCompositor()
        {
            connection = xcb_connect(nullptr, nullptr);
            const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
            window = xcb_generate_id(connection);
            xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                              XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
            const char name[] = "_NET_WM_CM_S0";
            const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> reply(
                xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof name - 1, name),
                                      nullptr),
                &free);
            atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
            xcb_set_selection_owner(connection, window, atom, XCB_CURRENT_TIME);
            xcb_flush(connection);
        }
        void release()
        {
            xcb_set_selection_owner(connection, XCB_WINDOW_NONE, atom, XCB_CURRENT_TIME);
            sync();
        }
        // Waits until the server has handled every request so far.
        void sync() { free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr)); }
        ~StandInCompositor() { xcb_disconnect(connection); }

        xcb_connection_t *connection = nullptr;
        xcb_window_t window = 0;
        xcb_atom_t atom = XCB_ATOM_NONE;
    };

private slots:
    void followsTheCompositingManager()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        // A bare X server blends nothing.
        QVERIFY(!WindowBlending::available());
        {
            StandInCompositor compositor;
            QVERIFY(compositor.atom != XCB_ATOM_NONE);
            compositor.sync();
            QVERIFY(WindowBlending::available());
            compositor.release();
            QVERIFY(!WindowBlending::available());
        }
        // A compositing manager that ends gives the selection up with its connection.
        {
            StandInCompositor compositor;
            compositor.sync();
            QVERIFY(WindowBlending::available());
        }
        QTRY_VERIFY(!WindowBlending::available());
    }
};

TOLVANE_TEST_MAIN(TestWindowBlending)
#include "tst_windowblending.moc"
