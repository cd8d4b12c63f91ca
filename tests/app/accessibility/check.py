"""What an AT-SPI client (a screen reader, an automated test) finds of the running program.

Run by run.sh against the program on a private X server and session bus, with a simulated
terminal that reports 1234,56 stable and the network terminals "Весы 1" and "Весы 2" in the
list file. Exits non-zero with a reason at the first thing that is not as it should be.
"""
import subprocess
import sys
import time

import pyatspi

LIMIT_S = 30  # generous: ctest runs it beside other tests, also under ASan
# An action answers at once: one that opens a modal window within a second, any other within
# a bound that a loaded machine meets too, where a nested wait would take the bus's 25 s.
MODAL_ACTION_S = 1
ACTION_S = 5


def fail(why):
    print("accessibility: " + why, file=sys.stderr)
    sys.exit(1)


def wait_for(find, what):
    # Polls the tree: the program answers on its own schedule.
    until = time.monotonic() + LIMIT_S
    while time.monotonic() < until:
        found = find()
        if found is not None:
            return found
        time.sleep(0.1)
    fail("not found: " + what)


def descendants(node, showing, depth=0):
    if node is None or depth > 12:
        return
    if showing and not node.getState().contains(pyatspi.STATE_SHOWING):
        return
    yield node
    # The lists of entries (79 skins, 51 addresses) hold nothing searched for here, and every
    # node is a call to the program.
    if node.getRole() in (pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_LIST):
        return
    for i in range(node.childCount):
        yield from descendants(node.getChildAtIndex(i), showing, depth + 1)


def find(root, role, name=None, showing=False):
    for node in descendants(root, showing):
        try:
            if node.getRole() != role or (name is not None and node.name != name):
                continue
            if showing and not node.getState().contains(pyatspi.STATE_SHOWING):
                continue
            return node
        except Exception:  # a node that went away while walking
            continue
    return None


def do_action(node, name, within=ACTION_S):
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i) == name:
            started = time.monotonic()
            action.doAction(i)
            took = time.monotonic() - started
            if took > within:
                fail("%s %r took %.1f s to answer %r" % (node.getRoleName(), node.name, took, name))
            return
    fail("%s %r has no action %r" % (node.getRoleName(), node.name, name))


def labelled(label_node):
    # The control a label names, through the relation a screen reader follows.
    for relation in label_node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABEL_FOR:
            return relation.getTarget(0)
    fail("label %r names no control" % label_node.name)


def entry(list_node, name):
    for i in range(list_node.childCount):
        child = list_node.getChildAtIndex(i)
        if child.name == name:
            return child
    fail("no entry %r in the list" % name)


def press_keys(*keys):
    if subprocess.run(["xdotool", "key", *keys], check=False).returncode != 0:
        fail("xdotool could not press " + " ".join(keys))


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == "Vesmera":
            return app
    return None


app = wait_for(application, "the program on the accessibility bus")
frame = wait_for(lambda: find(app, pyatspi.ROLE_FRAME, "Vesmera"), "the main window")

# The main window opens with its design client area and keeps it without a window manager.
extents = frame.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
if (extents.width, extents.height) != (403, 127):
    fail("main window is %dx%d, not 403x127" % (extents.width, extents.height))

weight = wait_for(lambda: find(frame, pyatspi.ROLE_LABEL, "1234,56"), "the weight 1234,56")
if weight.description != "вес стабилен":
    fail("weight description %r, not the stability" % weight.description)

# The context menu, with its four items.
do_action(frame, "ShowMenu")
menu = wait_for(lambda: find(app, pyatspi.ROLE_POPUP_MENU, showing=True), "the context menu")
items = [menu.getChildAtIndex(i).name for i in range(menu.childCount)]
if items != ["Настройки", "Свернуть в трей", "Выход", "О Программе"]:
    fail("context menu items %r" % items)

if find(frame, pyatspi.ROLE_PUSH_BUTTON, "") is not None:
    fail("an unnamed push button in the main window: the hidden zero button is never shown")

# "Настройки" opens the dialog modally, after its action has answered.
do_action(menu.getChildAtIndex(0), "Press", MODAL_ACTION_S)
dialog = wait_for(lambda: find(app, pyatspi.ROLE_DIALOG, "Настройки", showing=True),
                  "the settings dialog")
for role in (pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_TEXT):
    for node in descendants(dialog, False):
        if node.getRole() == role and not any(
                r.getRelationType() == pyatspi.RELATION_LABELLED_BY
                for r in node.getRelationSet()):
            fail("%s %r is labelled by no label" % (node.getRoleName(), node.name))

# A list entry picked through its action becomes the list's choice.
speed = labelled(find(dialog, pyatspi.ROLE_LABEL, "Скорость:"))
do_action(entry(speed.getChildAtIndex(0), "38400"), "Toggle")
wait_for(lambda: True if speed.name == "38400" else None, "the speed list showing 38400")

box = wait_for(lambda: find(dialog, pyatspi.ROLE_CHECK_BOX, "Сетевой режим"), "the mode box")
if find(dialog, pyatspi.ROLE_PUSH_BUTTON, "Добавить", showing=True) is not None:
    fail("the network panel shows in local mode")
do_action(box, "Toggle")
wait_for(lambda: find(dialog, pyatspi.ROLE_PUSH_BUTTON, "Добавить", showing=True),
         "the network panel after the mode box was toggled")

# The terminal picked through its entry's action is the one the name field and "Удалить" use.
terminals = labelled(find(dialog, pyatspi.ROLE_LABEL, "Список сетевых терминалов:"))
name_field = labelled(find(dialog, pyatspi.ROLE_LABEL, "Наименование:"))
do_action(entry(terminals, "Весы 2"), "Toggle")
wait_for(lambda: True if name_field.queryText().getText(0, -1) == "Весы 2" else None,
         "the name field showing the picked terminal")
do_action(find(dialog, pyatspi.ROLE_PUSH_BUTTON, "Удалить"), "Press")
wait_for(lambda: True if [terminals.getChildAtIndex(i).name
                          for i in range(terminals.childCount)] == ["Весы 1"] else None,
         "the picked terminal removed")

do_action(find(dialog, pyatspi.ROLE_PUSH_BUTTON, "Закрыть"), "Press")
wait_for(lambda: None if find(app, pyatspi.ROLE_DIALOG, "Настройки", showing=True) else True,
         "the dialog closing")

# The About window reads as its text, not as an unnamed picture.
do_action(frame, "ShowMenu")
menu = wait_for(lambda: find(app, pyatspi.ROLE_POPUP_MENU, showing=True), "the context menu")
do_action(menu.getChildAtIndex(3), "Press", MODAL_ACTION_S)
about = wait_for(lambda: find(app, pyatspi.ROLE_DIALOG, "О Программе", showing=True),
                 "the About window")
wait_for(lambda: find(about, pyatspi.ROLE_LABEL, "Vesmera v.3.1"), "the program's name")
press_keys("Escape")
wait_for(lambda: None if find(app, pyatspi.ROLE_DIALOG, "О Программе", showing=True) else True,
         "the About window closing")
print("accessibility: all found")
