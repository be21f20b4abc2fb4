<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB" sourcelanguage="en_GB">
<context>
    <name>CLumeronUpdateStatus</name>
    <message>
        <source>Update Failed. Please make sure you are connected to a stable network and try again.</source>
        <translation>Update Failed. Please make sure you are connected to a stable network and try again.</translation>
    </message>
    <message>
        <source>Update completed!</source>
        <translation>Update completed!</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>HttpGet</name>
    <message>
        <source>Network error: %1,please check the network.</source>
        <translation>Network error: %1,please check the network.</translation>
    </message>
    <message>
        <source>The server did not answer in time</source>
        <translation>The server did not answer in time</translation>
    </message>
    <message>
        <source>The server&apos;s answer is too large</source>
        <translation>The server&apos;s answer is too large</translation>
    </message>
</context>
<context>
    <name>LiveUpdate</name>
    <message>
        <source>Live Update</source>
        <translation>Live Update</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Update</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Checking for update now, please wait...</source>
        <translation>Checking for update now, please wait...</translation>
    </message>
    <message>
        <source>New Release!</source>
        <translation>New Release!</translation>
    </message>
    <message>
        <source>No updates available.</source>
        <translation>No updates available.</translation>
    </message>
    <message>
        <source>Note:</source>
        <translation>Note:</translation>
    </message>
    <message>
        <source>You can always download the newest version of %1 by clicking here:</source>
        <translation>You can always download the newest version of %1 by clicking here:</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>The release notes are longer than shown here and were cut.</source>
        <translation>The release notes are longer than shown here and were cut.</translation>
    </message>
</context>
</TS>
