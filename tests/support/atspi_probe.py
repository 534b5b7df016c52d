#!/usr/bin/python3
"""Reads and drives a running program's windows over the accessibility bus (AT-SPI), as a
screen reader does. The window tests run it while their own event loop answers.

Input on standard input, JSON: {"pid": PID, "steps": [STEP, ...]}. A step finds one object
of the program and describes it, and may act on it:
  {"find": {"role": "combo box", "name": "Model", "nth": 0}, "depth": 2, "action": "Press"}
"role" is AT-SPI's role name ("push button", "label", "list item"...), "name" the accessible
name; either may be left out. "depth" says how many levels of children to describe. A step
{"sleep": SECONDS} waits (for what an action set off). Output on standard output: a JSON list
with one entry per step, an object description or {"error": "..."}; exit status 0 unless the
program's accessible objects could not be reached at all.

A description: {"role", "name", "description", "text" (the Text interface's whole text, or
null without one), "value" (the Value interface's value, or null), "states" (names),
"actions" (names), "children" (descriptions, to "depth")}.
"""

import json
import sys
import time
import warnings

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

# get_text_iface and its kin are deprecated for names that clash in Python; they still answer.
warnings.simplefilter("ignore", DeprecationWarning)

# Lists and tables of many rows are walked only when asked for by depth: a log of 24,000
# rows would take minutes over the bus.
MAX_CHILDREN_WALKED = 400
APP_WAIT_SECONDS = 20


def find_app(pid):
    deadline = time.monotonic() + APP_WAIT_SECONDS
    while time.monotonic() < deadline:
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            try:
                if app is not None and app.get_process_id() == pid and app.get_child_count() > 0:
                    return app
            except gi.repository.GLib.Error:
                continue
        time.sleep(0.2)
    return None


def state_names(obj):
    states = obj.get_state_set()
    return sorted(Atspi.StateType(s).value_nick for s in states.get_states())


def describe(obj, depth):
    out = {
        "role": obj.get_role_name(),
        "name": obj.get_name(),
        "description": obj.get_description(),
        "text": None,
        "value": None,
        "states": state_names(obj),
        "actions": [],
    }
    text = obj.get_text_iface()
    if text is not None:
        out["text"] = Atspi.Text.get_text(obj, 0, Atspi.Text.get_character_count(obj))
    value = obj.get_value_iface()
    if value is not None:
        out["value"] = Atspi.Value.get_current_value(obj)
    action = obj.get_action_iface()
    if action is not None:
        out["actions"] = [Atspi.Action.get_action_name(obj, i) for i in range(Atspi.Action.get_n_actions(obj))]
    if depth > 0:
        count = obj.get_child_count()
        out["children"] = [describe(obj.get_child_at_index(i), depth - 1) for i in range(min(count, MAX_CHILDREN_WALKED))]
    return out


def matches(obj, want):
    if "role" in want and obj.get_role_name() != want["role"]:
        return False
    if "name" in want and obj.get_name() != want["name"]:
        return False
    return True


def find(app, want):
    """Breadth first, windows first; the nth match (0 by default)."""
    nth = want.get("nth", 0)
    queue = [app]
    while queue:
        obj = queue.pop(0)
        try:
            if obj is not app and matches(obj, want):
                if nth == 0:
                    return obj
                nth -= 1
            count = obj.get_child_count()
        except gi.repository.GLib.Error:
            continue
        if count > MAX_CHILDREN_WALKED:
            continue
        queue.extend(c for c in (obj.get_child_at_index(i) for i in range(count)) if c is not None)
    return None


def do_action(obj, name):
    action = obj.get_action_iface()
    if action is None:
        return "no actions"
    names = [Atspi.Action.get_action_name(obj, i) for i in range(Atspi.Action.get_n_actions(obj))]
    if name not in names:
        return "no action %r among %r" % (name, names)
    Atspi.Action.do_action(obj, names.index(name))
    return None


def run_step(app, step):
    if "sleep" in step:
        time.sleep(float(step["sleep"]))
        return {"slept": step["sleep"]}
    # What an earlier step set off must be read anew, not from the client's cache.
    app.clear_cache()
    obj = find(app, step.get("find", {}))
    if obj is None:
        return {"error": "not found: %s" % json.dumps(step.get("find", {}))}
    if "action" in step:
        error = do_action(obj, step["action"])
        if error:
            return {"error": error}
    return describe(obj, int(step.get("depth", 0)))


def main():
    request = json.load(sys.stdin)
    app = find_app(int(request["pid"]))
    if app is None:
        print(json.dumps({"error": "process %s has no accessible application on the bus" % request["pid"]}))
        return 1
    results = []
    for step in request["steps"]:
        try:
            results.append(run_step(app, step))
        except gi.repository.GLib.Error as e:
            results.append({"error": "AT-SPI: %s" % e.message})
    print(json.dumps(results))
    return 0


if __name__ == "__main__":
    sys.exit(main())
