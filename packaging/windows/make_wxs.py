#!/usr/bin/env python3
"""Writes the WiX source of the Windows installer for the program folder given: every file of
it under "Program Files\\Orvik", a Start menu entry for orvik.exe, upgrades replacing older
versions. Component GUIDs follow from the file names, so that they stay from build to build.

Usage: make_wxs.py <program folder> <version> > orvik.wxs
The folder is named as wixl finds it from the .wxs file's own folder (relative).
"""
import os
import sys
import uuid
from xml.sax.saxutils import quoteattr

UPGRADE_CODE = "5B0C2D4E-7A61-4F3B-9C1E-2D8A4F6B0E17"  # the product's, never changed
NAMESPACE = uuid.UUID(UPGRADE_CODE)


def ident(prefix, relative):
    return prefix + "_" + uuid.uuid5(NAMESPACE, relative).hex[:24]


def guid(relative):
    return str(uuid.uuid5(NAMESPACE, "component/" + relative)).upper()


def tree(folder):
    """(relative folder, [file names]) for each folder, the top first."""
    out = []
    for here, dirs, files in os.walk(folder):
        dirs.sort()
        out.append((os.path.relpath(here, folder), sorted(files)))
    return out


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__)
    folder, version = argv[1], argv[2]
    parts = (version.split(".") + ["0", "0", "0"])[:3]
    lines = []
    add = lines.append
    add('<?xml version="1.0" encoding="utf-8"?>')
    add('<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">')
    add(f'  <Product Id="*" Name="Tarnwell Orvik interface" Language="1033" '
        f'Version="{".".join(parts)}" Manufacturer="Tarnwell" UpgradeCode="{UPGRADE_CODE}">')
    add('    <Package InstallerVersion="500" Compressed="yes" InstallScope="perMachine" '
        'Description="Tarnwell Orvik interface"/>')
    add('    <Media Id="1" Cabinet="orvik.cab" EmbedCab="yes"/>')
    add('    <MajorUpgrade DowngradeErrorMessage="A newer version of the Orvik interface is '
        'already installed."/>')
    add('    <Icon Id="orvik.ico" SourceFile=' + quoteattr(os.path.join(folder, "orvik.exe")) + '/>')
    add('    <Property Id="ARPPRODUCTICON" Value="orvik.ico"/>')
    add('    <Directory Id="TARGETDIR" Name="SourceDir">')
    add('      <Directory Id="ProgramFiles64Folder">')
    add('        <Directory Id="INSTALLDIR" Name="Orvik">')
    components = []
    # The plug-in folders (platforms, styles, imageformats) lie one level below the program.
    for relative, files in tree(folder):
        indent = "          " if relative == "." else "            "
        if relative != ".":
            if os.path.dirname(relative):
                sys.exit(f"{relative}: only one level of folders is packed")
            add(f'          <Directory Id="{ident("dir", relative)}" '
                f'Name={quoteattr(relative)}>')
        for name in files:
            path = os.path.normpath(os.path.join(relative, name))
            cid = ident("cmp", path)
            components.append(cid)
            add(f'{indent}<Component Id="{cid}" Guid="{guid(path)}" Win64="yes">')
            add(f'{indent}  <File Id="{ident("fil", path)}" Source='
                f'{quoteattr(os.path.join(folder, path))} KeyPath="yes">')
            if path == "orvik.exe":
                add(f'{indent}    <Shortcut Id="StartMenuOrvik" Directory="ProgramMenuFolder" '
                    'Name="Orvik interface" WorkingDirectory="INSTALLDIR" Icon="orvik.ico" '
                    'Advertise="yes"/>')
            add(f'{indent}  </File>')
            add(f'{indent}</Component>')
        if relative != ".":
            add('          </Directory>')
    add('        </Directory>')
    add('      </Directory>')
    add('      <Directory Id="ProgramMenuFolder"/>')
    add('    </Directory>')
    add('    <Feature Id="Program" Title="Orvik interface" Level="1">')
    for cid in components:
        add(f'      <ComponentRef Id="{cid}"/>')
    add('    </Feature>')
    add('  </Product>')
    add('</Wix>')
    print("\n".join(lines))


if __name__ == "__main__":
    main(sys.argv)
