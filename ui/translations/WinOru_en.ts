<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>AddNames</name>
    <message numerus="yes">
        <source>%n item(s) stored under another name (the name was too long, the same as another item&apos;s, or held characters Big5 cannot represent):</source>
        <translation>
            <numerusform>%n item stored under another name (the name was too long, the same as another item&apos;s, or held characters Big5 cannot represent):</numerusform>
            <numerusform>%n items stored under another name (the name was too long, the same as another item&apos;s, or held characters Big5 cannot represent):</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ArchiveReport</name>
    <message numerus="yes">
        <source>%n folder(s)</source>
        <translation>
            <numerusform>%n folder</numerusform>
            <numerusform>%n folders</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s)</source>
        <translation>
            <numerusform>%n file</numerusform>
            <numerusform>%n files</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n entry(s) of unknown type</source>
        <translation>
            <numerusform>%n entry of unknown type</numerusform>
            <numerusform>%n entries of unknown type</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1 (%2 byte(s))</source>
        <translation>
            <numerusform>%1 (%2 byte)</numerusform>
            <numerusform>%1 (%2 bytes)</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>CommandTexts</name>
    <message numerus="yes">
        <source>...and %n more item(s)</source>
        <translation>
            <numerusform>...and %n more item</numerusform>
            <numerusform>...and %n more items</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n item(s) could not be added; everything else was added:</source>
        <translation>
            <numerusform>%n item could not be added; everything else was added:</numerusform>
            <numerusform>%n items could not be added; everything else was added:</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln byte(s)</source>
        <translation>
            <numerusform>%Ln byte</numerusform>
            <numerusform>%Ln bytes</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ProgressSink</name>
    <message numerus="yes">
        <source>%1
%n item(s) done, %2</source>
        <translation>
            <numerusform>%1
%n item done, %2</numerusform>
            <numerusform>%1
%n items done, %2</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>oru::ui::TMainFrm</name>
    <message numerus="yes">
        <source>Added %n item(s)</source>
        <translation>
            <numerusform>Added %n item</numerusform>
            <numerusform>Added %n items</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Extracted %n file(s)</source>
        <translation>
            <numerusform>Extracted %n file</numerusform>
            <numerusform>Extracted %n files</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Tested %n file(s): no damage found.</source>
        <translation>
            <numerusform>Tested %n file: no damage found.</numerusform>
            <numerusform>Tested %n files: no damage found.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Tested %n file(s), %1 damaged:</source>
        <translation>
            <numerusform>Tested %n file, %1 damaged:</numerusform>
            <numerusform>Tested %n files, %1 damaged:</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n folder(s)</source>
        <translation>
            <numerusform>%n folder</numerusform>
            <numerusform>%n folders</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s)</source>
        <translation>
            <numerusform>%n file</numerusform>
            <numerusform>%n files</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n item(s) selected, %1</source>
        <translation>
            <numerusform>%n item selected, %1</numerusform>
            <numerusform>%n items selected, %1</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) damaged: File &gt; Repair... writes every file that can be verified into a new archive.</source>
        <translation>
            <numerusform>%n file damaged: File &gt; Repair... writes every file that can be verified into a new archive.</numerusform>
            <numerusform>%n files damaged: File &gt; Repair... writes every file that can be verified into a new archive.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Every file came back: %n file(s) written to %1.</source>
        <translation>
            <numerusform>Every file came back: %n file written to %1.</numerusform>
            <numerusform>Every file came back: %n files written to %1.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) written to %1, %2 of them under made-up names; %3 lost.</source>
        <translation>
            <numerusform>%n file written to %1, %2 of them under made-up names; %3 lost.</numerusform>
            <numerusform>%n files written to %1, %2 of them under made-up names; %3 lost.</numerusform>
        </translation>
    </message>
</context>
</TS>
