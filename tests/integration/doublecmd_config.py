#!/usr/bin/env python3
"""Prepares a Double Commander configuration for the integration tests, on
Linux and on Windows (under Wine).

Takes the doublecmd.xml that Double Commander wrote on its first run and
writes a shortcuts.scf with the keys the tests send. With --plugin it adds
the plug-in's entry as README tells administrators, under the name
wdx_Korvel; with --installed NAME the plug-in is the one Double Commander
registered itself under NAME. Either adds a column set of the file name and
the eight fields, and shows both panels on FOLDER in it. With --install-key
PLUGIN, Shift+F11 gives that path to cm_AddPlugin: a plug-in file is added
as the settings' Add button adds it; an archive (1.1 and later) is
installed as its pluginst.inf says. With --keys-only it writes only
shortcuts.scf, before the first run, so that the key that closes Double
Commander works from the start.

Usage: doublecmd_config.py CONFIG_DIR [--plugin PATH | --installed NAME] [--folder FOLDER]
                           [--install-key PLUGIN] [--keys-only]
"""
import argparse
import xml.etree.ElementTree as ET
from xml.sax.saxutils import escape

FIELDS = ["DBName", "DBType", "CreatorID", "DataCreated", "DataModified", "DataBackedUp",
          "NumRecords", "Version"]
# The name Double Commander gives the plug-in when it adds it (a column's
# plug-in name may not hold a dot).
PLUGIN_NAME = "wdx_Korvel"
SHORTCUTS = {"F10": "cm_MarkUnmarkAll", "F11": "cm_MarkMarkAll", "F12": "cm_CopyFileDetailsToClip",
             "F9": "cm_Exit"}  # a plain key: the Qt build under Xvfb never gets Alt combinations


def child(parent, tag):
    found = parent.find(tag)
    return found if found is not None else ET.SubElement(parent, tag)


def text(parent, tag, value):
    child(parent, tag).text = value


def write_shortcuts(config_dir, install_plugin):
    shortcuts = [(key, command, []) for key, command in SHORTCUTS.items()]
    if install_plugin:
        shortcuts.append(("Shift+F11", "cm_AddPlugin", [install_plugin]))
    with open(f"{config_dir}/shortcuts.scf", "w", encoding="UTF-8") as out:
        out.write('<?xml version="1.0" encoding="UTF-8"?>\n<doublecmd DCVersion="1.0.10">\n'
                  '  <Hotkeys Version="53">\n    <Form Name="Main">\n')
        for key, command, params in shortcuts:
            out.write(f"      <Hotkey>\n        <Shortcut>{key}</Shortcut>\n"
                      f"        <Command>{command}</Command>\n")
            for param in params:
                out.write(f"        <Param>{escape(param)}</Param>\n")
            out.write("      </Hotkey>\n")
        out.write("    </Form>\n  </Hotkeys>\n</doublecmd>\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("config_dir")
    parser.add_argument("--plugin")
    parser.add_argument("--installed")
    parser.add_argument("--folder")
    parser.add_argument("--install-key")
    parser.add_argument("--keys-only", action="store_true")
    options = parser.parse_args()
    if options.keys_only:
        write_shortcuts(options.config_dir, options.install_key)
        return
    path = f"{options.config_dir}/doublecmd.xml"
    tree = ET.parse(path)
    root = tree.getroot()

    plugin_name = options.installed or PLUGIN_NAME
    if options.plugin:
        plugins = child(root, "Plugins")
        old = plugins.find("WdxPlugins")
        if old is not None:
            plugins.remove(old)
        wdx = ET.SubElement(ET.SubElement(plugins, "WdxPlugins"), "WdxPlugin")
        text(wdx, "Name", PLUGIN_NAME)
        text(wdx, "Path", options.plugin)
        text(wdx, "DetectString", 'EXT="PDB"|EXT="PRC"')

    if options.folder:
        sets = child(root, "ColumnsSets")
        template = sets.find("ColumnsSet")
        palm = ET.fromstring(ET.tostring(template))
        text(palm, "Name", "Palm")
        columns = palm.find("Columns")
        first = columns.find("Column")
        for column in list(columns):
            columns.remove(column)
        for title, function, width in [("Name", "[DC().GETFILENAME{}]", "180")] + [
                (field, f"[Plugin({plugin_name}).{field}{{}}]", "120") for field in FIELDS]:
            column = ET.fromstring(ET.tostring(first))
            text(column, "Title", title)
            text(column, "FuncString", function)
            text(column, "Width", "260" if title == "DBName" else width)
            columns.append(column)
        sets.append(palm)
        folder = options.folder if options.folder.endswith(("/", "\\")) else options.folder + "/"
        # The open tabs: in doublecmd.xml up to version 1.0, in tabs.xml since.
        tabs_path, tabs_tree = path, tree
        if root.find("Tabs/OpenedTabs") is None:
            tabs_path = f"{options.config_dir}/tabs.xml"
            tabs_tree = ET.parse(tabs_path)
        for side in ("Left", "Right"):
            view = tabs_tree.getroot().find(f"Tabs/OpenedTabs/{side}/Tab/FileView")
            view.find("ColumnsView/ColumnsSet").text = "Palm"
            view.find("History/Entry/Paths/Path").text = folder
        if tabs_tree is not tree:
            tabs_tree.write(tabs_path, encoding="UTF-8", xml_declaration=True)
    # Without a window manager nothing maximizes the window: give it the
    # screen, so that every row is on it (it asks values only for rows shown).
    position = root.find("MainWindow/Position")
    for tag, value in [("Left", "0"), ("Top", "0"), ("Width", "1580"), ("Height", "860"),
                       ("Maximized", "False"), ("Splitter", "92")]:
        text(position, tag, value)
    text(child(root, "Behaviours"), "CutTextToColumnWidth", "False")
    tree.write(path, encoding="UTF-8", xml_declaration=True)
    write_shortcuts(options.config_dir, options.install_key)


if __name__ == "__main__":
    main()
