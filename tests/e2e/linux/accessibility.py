"""Reading and driving a program's windows through AT-SPI, as a screen reader would.

Import only once the desktop's DISPLAY and DBUS_SESSION_BUS_ADDRESS are in os.environ:
pyatspi connects to the accessibility bus when it is first imported."""

import pyatspi


def application(pid):
    """The accessible application of process `pid`, or None while it has not registered."""
    for app in pyatspi.Registry.getDesktop(0):
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:  # an application that is going away as we ask
            continue
    return None


def children(accessible):
    return [child for child in accessible if child is not None]


def descendants(accessible, role):
    found = []
    for child in children(accessible):
        if child.getRole() == role:
            found.append(child)
        found.extend(descendants(child, role))
    return found


def top_level(app, name, role):
    """A window of `app` by its title, or None."""
    for window in children(app):
        try:
            if window.name == name and window.getRole() == role:
                return window
        except Exception:  # a window that is going away as we ask
            continue
    return None


def alerts(app):
    found = []
    for child in children(app):
        try:
            if child.getRole() == pyatspi.ROLE_ALERT:
                found.append(child)
        except Exception:  # a box that is closing as we ask
            continue
    return found


def labels(accessible):
    return [label.name for label in descendants(accessible, pyatspi.ROLE_LABEL)]


def buttons(accessible):
    return descendants(accessible, pyatspi.ROLE_PUSH_BUTTON)


def button(accessible, name):
    matches = [b for b in buttons(accessible) if b.name == name]
    if len(matches) != 1:
        raise AssertionError(f"expected one button {name!r}, found {len(matches)}")
    return matches[0]


def showing(accessible):
    return accessible.getState().contains(pyatspi.STATE_SHOWING)


def press(accessible):
    action = accessible.queryAction()
    for index in range(action.nActions):
        if action.getName(index) == "Press":
            action.doAction(index)
            return
    raise AssertionError(f"{accessible.name!r} has no Press action")


def extents_in(window, accessible):
    """(x, y, width, height) of `accessible` from the top-left corner of `window`'s client
    area. Qt answers window coordinates with the far corner's offset for a size, so this
    works from screen coordinates."""
    inner = accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    outer = window.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return (inner.x - outer.x, inner.y - outer.y, inner.width, inner.height)


def screen_position(accessible):
    extents = accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return (extents.x, extents.y)
