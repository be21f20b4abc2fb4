<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB" sourcelanguage="en_GB">
<context>
    <name>LiveUpdate</name>
    <message>
        <source>Update</source>
        <translation>Update (en)</translation>
    </message>
</context>
</TS>
