#!/usr/bin/env python3
"""Prepares a fresh Double Commander configuration for the integration test.

Takes the doublecmd.xml that Double Commander wrote on its first run and
registers the plug-in, a column set of the file name and the eight fields,
and both panels on the sample folder; writes a minimal shortcuts.scf with
the keys the test sends.

Usage: doublecmd_config.py CONFIG_DIR PLUGIN_PATH SAMPLE_FOLDER
"""
import sys
import xml.etree.ElementTree as ET

FIELDS = ["DBName", "DBType", "CreatorID", "DataCreated", "DataModified", "DataBackedUp",
          "NumRecords", "Version"]
PLUGIN_NAME = "Korvel"  # a column's plug-in name may not hold a dot
SHORTCUTS = {"F10": "cm_MarkUnmarkAll", "F11": "cm_MarkMarkAll", "F12": "cm_CopyFileDetailsToClip",
             "Alt+X": "cm_Exit"}


def child(parent, tag):
    found = parent.find(tag)
    return found if found is not None else ET.SubElement(parent, tag)


def text(parent, tag, value):
    child(parent, tag).text = value


def main(config_dir, plugin_path, samples):
    path = f"{config_dir}/doublecmd.xml"
    tree = ET.parse(path)
    root = tree.getroot()

    plugins = child(root, "Plugins")
    old = plugins.find("WdxPlugins")
    if old is not None:
        plugins.remove(old)
    wdx = ET.SubElement(ET.SubElement(plugins, "WdxPlugins"), "WdxPlugin")
    text(wdx, "Name", PLUGIN_NAME)
    text(wdx, "Path", plugin_path)
    text(wdx, "DetectString", 'EXT="PDB"|EXT="PRC"')

    sets = child(root, "ColumnsSets")
    template = sets.find("ColumnsSet")
    palm = ET.fromstring(ET.tostring(template))
    text(palm, "Name", "Palm")
    columns = palm.find("Columns")
    first = columns.find("Column")
    for column in list(columns):
        columns.remove(column)
    for title, function, width in [("Name", "[DC().GETFILENAME{}]", "180")] + [
            (field, f"[Plugin({PLUGIN_NAME}).{field}{{}}]", "120") for field in FIELDS]:
        column = ET.fromstring(ET.tostring(first))
        text(column, "Title", title)
        text(column, "FuncString", function)
        text(column, "Width", "260" if title == "DBName" else width)
        columns.append(column)
    sets.append(palm)

    for side in ("Left", "Right"):
        view = root.find(f"Tabs/OpenedTabs/{side}/Tab/FileView")
        view.find("ColumnsView/ColumnsSet").text = "Palm"
        view.find("History/Entry/Paths/Path").text = samples + "/"
    # Without a window manager nothing maximizes the window: give it the
    # screen, so that every row is on it (it asks values only for rows shown).
    position = root.find("MainWindow/Position")
    for tag, value in [("Left", "0"), ("Top", "0"), ("Width", "1580"), ("Height", "860"),
                       ("Maximized", "False"), ("Splitter", "92")]:
        text(position, tag, value)
    text(child(root, "Behaviours"), "CutTextToColumnWidth", "False")
    tree.write(path, encoding="UTF-8", xml_declaration=True)

    with open(f"{config_dir}/shortcuts.scf", "w", encoding="UTF-8") as out:
        out.write('<?xml version="1.0" encoding="UTF-8"?>\n<doublecmd DCVersion="1.0.10">\n'
                  '  <Hotkeys Version="53">\n    <Form Name="Main">\n')
        for key, command in SHORTCUTS.items():
            out.write(f"      <Hotkey>\n        <Shortcut>{key}</Shortcut>\n"
                      f"        <Command>{command}</Command>\n      </Hotkey>\n")
        out.write("    </Form>\n  </Hotkeys>\n</doublecmd>\n")


if __name__ == "__main__":
    main(*sys.argv[1:])
