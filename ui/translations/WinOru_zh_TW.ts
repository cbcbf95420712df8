<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_TW">
<context>
    <name>AddNames</name>
    <message>
        <source>The archive already holds &quot;%1&quot;.</source>
        <translation>壓縮檔中已有「%1」。</translation>
    </message>
    <message>
        <source>Replace: store this file in place of the one at the same path in the archive.
Keep Both: store it as well, under its name with ~N added.</source>
        <translation>取代：以這次的檔案取代壓縮檔中同一路徑的檔案。
兩者都保留：以加上 ~N 的名稱另存一份。</translation>
    </message>
    <message>
        <source>Replace</source>
        <translation>取代</translation>
    </message>
    <message>
        <source>Keep Both</source>
        <translation>兩者都保留</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Apply to all items</source>
        <translation>套用到所有項目</translation>
    </message>
    <message numerus="yes">
        <source>%n item(s) stored under another name (the name was too long, the same as another item&apos;s, or held characters Big5 cannot represent):</source>
        <translation>
            <numerusform>下列 %n 個項目以不同的名稱存入壓縮檔（名稱太長、與其他項目相同，或含有 Big5 無法表示的字元）：</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ArchiveReport</name>
    <message>
        <source>%1, %2</source>
        <translation>%1，%2</translation>
    </message>
    <message numerus="yes">
        <source>%n folder(s)</source>
        <translation>
            <numerusform>%n 個資料夾</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s)</source>
        <translation>
            <numerusform>%n 個檔案</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n entry(s) of unknown type</source>
        <translation>
            <numerusform>%n 個不明類型的項目</numerusform>
        </translation>
    </message>
    <message>
        <source>Location</source>
        <translation>位置</translation>
    </message>
    <message>
        <source>File size</source>
        <translation>檔案大小</translation>
    </message>
    <message>
        <source>Contents</source>
        <translation>項目</translation>
    </message>
    <message>
        <source>Original size</source>
        <translation>原始大小</translation>
    </message>
    <message>
        <source>Packed size</source>
        <translation>壓縮後</translation>
    </message>
    <message>
        <source>Ratio</source>
        <translation>壓縮率</translation>
    </message>
    <message>
        <source>Unused space</source>
        <translation>未使用空間</translation>
    </message>
    <message>
        <source>Catalog size</source>
        <translation>目錄大小</translation>
    </message>
    <message>
        <source>Created</source>
        <translation>建立日期</translation>
    </message>
    <message numerus="yes">
        <source>%1 (%2 byte(s))</source>
        <translation>
            <numerusform>%1（%2 位元組）</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>CommandTexts</name>
    <message>
        <source>&quot;%1&quot; already exists.
Replace it with an empty archive? Everything in it will be deleted.</source>
        <translation>「%1」已經存在。
要以空的壓縮檔取代它嗎？它裡面的所有項目都會被刪除。</translation>
    </message>
    <message>
        <source>Delete &quot;%1&quot; and everything in it?</source>
        <translation>要刪除「%1」和它裡面的所有項目嗎？</translation>
    </message>
    <message>
        <source>Delete &quot;%1&quot;?</source>
        <translation>要刪除「%1」嗎？</translation>
    </message>
    <message>
        <source>Delete these %1 items?</source>
        <translation>要刪除這 %1 個項目嗎？</translation>
    </message>
    <message>
        <source> (and everything in it)</source>
        <translation>（和它裡面的所有項目）</translation>
    </message>
    <message>
        <source>First select the items to delete in the list (hold Ctrl to select several), then press Delete.</source>
        <translation>請先在清單中選取要刪除的項目（按住 Ctrl 可以選取多個），再按「刪除」。</translation>
    </message>
    <message>
        <source>no permission to read it</source>
        <translation>沒有讀取權限</translation>
    </message>
    <message>
        <source>not found (it may have been moved or deleted)</source>
        <translation>找不到（可能已被移走或刪除）</translation>
    </message>
    <message>
        <source>a symbolic link to an item that does not exist</source>
        <translation>符號連結指向不存在的項目</translation>
    </message>
    <message>
        <source>an error occurred while reading it</source>
        <translation>讀取時發生錯誤</translation>
    </message>
    <message>
        <source>the folder&apos;s contents cannot be listed</source>
        <translation>無法列出資料夾的內容</translation>
    </message>
    <message>
        <source>another program is using it</source>
        <translation>另一個程式正在使用</translation>
    </message>
    <message>
        <source>not a file or folder</source>
        <translation>不是檔案或資料夾</translation>
    </message>
    <message>
        <source>this is the archive being added to</source>
        <translation>這是正在加入的壓縮檔本身</translation>
    </message>
    <message>
        <source>cannot be read</source>
        <translation>無法讀取</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1：%2</translation>
    </message>
    <message numerus="yes">
        <source>...and %n more item(s)</source>
        <translation>
            <numerusform>……以及另外 %n 個項目</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n item(s) could not be added; everything else was added:</source>
        <translation>
            <numerusform>%n 個項目無法加入，其餘的都已加入：</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln byte(s)</source>
        <translation>
            <numerusform>%Ln 位元組</numerusform>
        </translation>
    </message>
    <message>
        <source>First select the file to view in the list, then press F3.</source>
        <translation>請先在清單中選取要檢視的檔案，再按 F3。</translation>
    </message>
</context>
<context>
    <name>Dialogs</name>
    <message>
        <source>New Archive</source>
        <translation>新壓縮檔</translation>
    </message>
    <message>
        <source>Open Archive</source>
        <translation>開啟壓縮檔</translation>
    </message>
    <message>
        <source>Archives (*.oru)</source>
        <translation>壓縮檔 (*.oru)</translation>
    </message>
    <message>
        <source>No application could open %1. Extract it and open it from a file manager, or install an application for files of its type.</source>
        <translation>沒有應用程式能開啟 %1。請將它解壓縮後從檔案管理員開啟，或安裝能處理這種檔案的應用程式。</translation>
    </message>
</context>
<context>
    <name>FileManagerActions</name>
    <message>
        <source>Add Files</source>
        <translation>加入壓縮</translation>
    </message>
</context>
<context>
    <name>ProgressSink</name>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message numerus="yes">
        <source>%1
%n item(s) done, %2</source>
        <translation>
            <numerusform>%1
已處理 %n 個項目，%2</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>WinOru</name>
    <message>
        <source>Usage: WinOru [ARCHIVE...]
       WinOru --extract-here ARCHIVE...
       WinOru --add-to ARCHIVE PATH...
       WinOru --add-here PATH...

Without options, opens a window for each archive named (an empty one when none is).

  --extract-here ARCHIVE...  extract each archive beside itself: a single top-level
                             item straight beside it, otherwise into a new folder
                             named after the archive; then exit
  --add-to ARCHIVE PATH...   add the files and folders to the archive, creating it
                             when missing; then exit
  --add-here PATH...         add them to a new archive beside the first, named after
                             it (or after their folder when there are several),
                             &quot;NAME (2).oru&quot;... when the name is taken; then exit
  --help                     show this help and exit
  --version                  show the version and exit

Qt&apos;s own options (-platform, -style...) are accepted too.
</source>
        <translation>用法：WinOru [壓縮檔...]
      WinOru --extract-here 壓縮檔...
      WinOru --add-to 壓縮檔 路徑...
      WinOru --add-here 路徑...

不加選項時為每個指定的壓縮檔各開啟一個視窗（沒有指定時開啟一個空的視窗）。

  --extract-here 壓縮檔...   將每個壓縮檔解壓縮到它旁邊：只有一個最上層項目時直接
                             放在旁邊，否則放進以壓縮檔命名的新資料夾；然後結束
  --add-to 壓縮檔 路徑...    將檔案和資料夾加入壓縮檔，壓縮檔不存在時先建立；
                             然後結束
  --add-here 路徑...         將它們加入第一個項目旁邊的新壓縮檔，以它命名（有多個
                             項目時以它們所在的資料夾命名），名稱已被使用時改用
                             「名稱 (2).oru」……；然後結束
  --help                     顯示這份說明並結束
  --version                  顯示版本並結束

也接受 Qt 本身的選項（-platform、-style……）。
</translation>
    </message>
    <message>
        <source>--extract-here needs at least one archive</source>
        <translation>--extract-here 需要至少一個壓縮檔</translation>
    </message>
    <message>
        <source>--add-to needs an archive and at least one path</source>
        <translation>--add-to 需要一個壓縮檔和至少一個路徑</translation>
    </message>
    <message>
        <source>--add-here needs at least one path</source>
        <translation>--add-here 需要至少一個路徑</translation>
    </message>
</context>
<context>
    <name>oru::ui::CatalogModel</name>
    <message>
        <source>Name</source>
        <translation>檔名</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>大小</translation>
    </message>
    <message>
        <source>Packed</source>
        <translation>壓縮後</translation>
    </message>
    <message>
        <source>Date Added</source>
        <translation>封裝日期</translation>
    </message>
</context>
<context>
    <name>oru::ui::TConflictDlg</name>
    <message>
        <source>File Already Exists</source>
        <translation>檔案已經存在</translation>
    </message>
    <message>
        <source>&quot;%1&quot; already exists.
Overwrite it with the file from the archive?</source>
        <translation>「%1」已經存在。
要以壓縮檔中的檔案覆蓋它嗎？</translation>
    </message>
    <message>
        <source>Do the same for the remaining conflicts</source>
        <translation>之後的衝突都這樣處理</translation>
    </message>
    <message>
        <source>Overwrite</source>
        <translation>覆蓋</translation>
    </message>
    <message>
        <source>Skip</source>
        <translation>略過</translation>
    </message>
    <message>
        <source>Keep Both</source>
        <translation>兩者都保留</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>%1, modified %2</source>
        <translation>%1，修改於 %2</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>不明</translation>
    </message>
    <message>
        <source>%1, added %2</source>
        <translation>%1，加入於 %2</translation>
    </message>
    <message>
        <source>Existing file:</source>
        <translation>現有的檔案：</translation>
    </message>
    <message>
        <source>From the archive:</source>
        <translation>壓縮檔中的檔案：</translation>
    </message>
</context>
<context>
    <name>oru::ui::TMainFrm</name>
    <message>
        <source>New Archive</source>
        <translation>新壓縮檔</translation>
    </message>
    <message>
        <source>Open Archive</source>
        <translation>開啟壓縮檔</translation>
    </message>
    <message>
        <source>Add Files</source>
        <translation>加入壓縮</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>刪除</translation>
    </message>
    <message>
        <source>View</source>
        <translation>檢視</translation>
    </message>
    <message>
        <source>Extract To</source>
        <translation>解壓縮到</translation>
    </message>
    <message>
        <source>Rebuild Archive</source>
        <translation>重整檔案</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>離開</translation>
    </message>
    <message>
        <source>File List</source>
        <translation>檔案清單</translation>
    </message>
    <message>
        <source>Archive</source>
        <translation>壓縮檔</translation>
    </message>
    <message>
        <source>Find by name</source>
        <translation>尋找名稱</translation>
    </message>
    <message>
        <source>Whole archive</source>
        <translation>整個壓縮檔</translation>
    </message>
    <message>
        <source>%1, %2, %3 s</source>
        <translation>%1，%2，%3 秒</translation>
    </message>
    <message numerus="yes">
        <source>Added %n item(s)</source>
        <translation>
            <numerusform>已加入 %n 個項目</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Extracted %n file(s)</source>
        <translation>
            <numerusform>已解壓縮 %n 個檔案</numerusform>
        </translation>
    </message>
    <message>
        <source>Deleted and rebuilt; the file is now %1</source>
        <translation>已刪除並重整，檔案大小 %1</translation>
    </message>
    <message>
        <source>Archive rebuilt, %1 → %2</source>
        <translation>已重整檔案，%1 → %2</translation>
    </message>
    <message>
        <source>Test</source>
        <translation>測試</translation>
    </message>
    <message numerus="yes">
        <source>Tested %n file(s): no damage found.</source>
        <translation>
            <numerusform>已測試 %n 個檔案，沒有損壞。</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Tested %n file(s), %1 damaged:</source>
        <translation>
            <numerusform>已測試 %n 個檔案，%1 個損壞：</numerusform>
        </translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>檔案(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;New Archive...</source>
        <translation>新壓縮檔(&amp;N)...</translation>
    </message>
    <message>
        <source>&amp;Open Archive...</source>
        <translation>開啟壓縮檔(&amp;O)...</translation>
    </message>
    <message>
        <source>Open &amp;Recent</source>
        <translation>最近開啟的壓縮檔(&amp;R)</translation>
    </message>
    <message>
        <source>&amp;Properties...</source>
        <translation>內容(&amp;P)...</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>離開(&amp;X)</translation>
    </message>
    <message>
        <source>&amp;Actions</source>
        <translation>動作(&amp;A)</translation>
    </message>
    <message>
        <source>&amp;Add Files</source>
        <translation>加入壓縮(&amp;A)</translation>
    </message>
    <message>
        <source>&amp;Extract To...</source>
        <translation>解壓縮到(&amp;E)...</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>刪除(&amp;D)</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>檢視(&amp;V)</translation>
    </message>
    <message>
        <source>&amp;Test</source>
        <translation>測試(&amp;T)</translation>
    </message>
    <message>
        <source>Re&amp;build Archive</source>
        <translation>重整檔案(&amp;B)</translation>
    </message>
    <message>
        <source>P&amp;lain Archives</source>
        <translation>純八欄壓縮檔(&amp;L)</translation>
    </message>
    <message>
        <source>&amp;Find</source>
        <translation>尋找(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Refresh</source>
        <translation>重新整理(&amp;R)</translation>
    </message>
    <message>
        <source>Select &amp;All</source>
        <translation>全選(&amp;S)</translation>
    </message>
    <message>
        <source>&amp;Up One Level</source>
        <translation>上一層資料夾(&amp;U)</translation>
    </message>
    <message>
        <source> [read-only]</source>
        <translation> [唯讀]</translation>
    </message>
    <message>
        <source>%1, %2, %3</source>
        <translation>%1，%2，%3</translation>
    </message>
    <message numerus="yes">
        <source>%n folder(s)</source>
        <translation>
            <numerusform>%n 個資料夾</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s)</source>
        <translation>
            <numerusform>%n 個檔案</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n item(s) selected, %1</source>
        <translation>
            <numerusform>已選取 %n 項，%1</numerusform>
        </translation>
    </message>
    <message>
        <source>The file is too large: showing the first %1 of %2</source>
        <translation>檔案太大，只顯示前 %1（全檔 %2）</translation>
    </message>
    <message>
        <source>The command was cancelled.</source>
        <translation>已取消指令。</translation>
    </message>
    <message>
        <source>The command failed.</source>
        <translation>指令失敗。</translation>
    </message>
    <message>
        <source>Rep&amp;air...</source>
        <translation>修復(&amp;A)...</translation>
    </message>
    <message>
        <source>%1 is damaged: File &gt; Repair... writes every file that can be verified into a new archive.</source>
        <translation>%1 已損壞：檔案 &gt; 修復... 會把每個能驗證的檔案寫入新的壓縮檔。</translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) damaged: File &gt; Repair... writes every file that can be verified into a new archive.</source>
        <translation>
            <numerusform>%n 個檔案已損壞：檔案 &gt; 修復... 會把每個能驗證的檔案寫入新的壓縮檔。</numerusform>
        </translation>
    </message>
    <message>
        <source>Repair</source>
        <translation>修復</translation>
    </message>
    <message>
        <source>Catalog unreadable: %1</source>
        <translation>目錄無法讀取：%1</translation>
    </message>
    <message>
        <source>Found: %1 (from offset %2)</source>
        <translation>找到：%1（來自位置 %2）</translation>
    </message>
    <message>
        <source>Lost: %1: %2</source>
        <translation>遺失：%1：%2</translation>
    </message>
    <message numerus="yes">
        <source>Every file came back: %n file(s) written to %1.</source>
        <translation>
            <numerusform>全部救回：%n 個檔案已寫入 %1。</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) written to %1, %2 of them under made-up names; %3 lost.</source>
        <translation>
            <numerusform>%n 個檔案已寫入 %1，其中 %2 個使用代擬的名稱；遺失 %3 個。</numerusform>
        </translation>
    </message>
    <message>
        <source>Open with the Default A&amp;pplication</source>
        <translation>以預設應用程式開啟(&amp;P)</translation>
    </message>
    <message>
        <source>%1

Close it in the other program, then try again.</source>
        <translation>%1

請在另一個程式中關閉它，然後再試一次。</translation>
    </message>
    <message>
        <source>&amp;Try Again</source>
        <translation>再試一次(&amp;T)</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>The archive was changed by another program.</source>
        <translation>壓縮檔已被另一個程式變更。</translation>
    </message>
    <message>
        <source>Another program has changed %1 since it was shown. The list now shows the archive as it is; nothing was done. Select again, then repeat the command.</source>
        <translation>顯示 %1 之後，另一個程式變更了它。清單現在顯示壓縮檔目前的內容；這次沒有做任何事。請重新選取，再執行一次指令。</translation>
    </message>
    <message>
        <source>%1 is not a text file, so it is not shown here.
Type: %2 (%3)
Size: %4</source>
        <translation>%1 不是文字檔，所以不在這裡顯示。
類型：%2（%3）
大小：%4</translation>
    </message>
    <message>
        <source>The file %1 was modified. Update it in the archive?</source>
        <translation>檔案 %1 已修改。要更新壓縮檔裡的它嗎？</translation>
    </message>
    <message>
        <source>&amp;Update</source>
        <translation>更新(&amp;U)</translation>
    </message>
    <message>
        <source>Do &amp;Not Update</source>
        <translation>不要更新(&amp;N)</translation>
    </message>
    <message>
        <source>%1 has changed in the archive since you opened it (another program or another command wrote it). Replace it with the file you edited?</source>
        <translation>您開啟 %1 之後，壓縮檔裡的它已變更（另一個程式或另一個指令寫入了它）。要以您編輯的檔案取代它嗎？</translation>
    </message>
    <message>
        <source>%1 is no longer in the archive (another program or another command removed it). Add the file you edited?</source>
        <translation>%1 已不在壓縮檔裡（另一個程式或另一個指令移除了它）。要加入您編輯的檔案嗎？</translation>
    </message>
    <message>
        <source>&amp;Replace</source>
        <translation>取代(&amp;R)</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>更新</translation>
    </message>
    <message>
        <source>Updated %1 in the archive</source>
        <translation>已更新壓縮檔裡的 %1</translation>
    </message>
    <message>
        <source>Open the &amp;Folder After Extracting</source>
        <translation>解壓縮後開啟資料夾(&amp;F)</translation>
    </message>
    <message>
        <source>Commands</source>
        <translation>指令</translation>
    </message>
    <message>
        <source>Creates a new, empty archive (Ctrl+N)</source>
        <translation>建立一個新的空壓縮檔（Ctrl+N）</translation>
    </message>
    <message>
        <source>Opens an archive (Ctrl+O)</source>
        <translation>開啟壓縮檔（Ctrl+O）</translation>
    </message>
    <message>
        <source>Adds the files selected in the file pane to the archive (Ctrl+Shift+A)</source>
        <translation>把檔案窗格中選取的檔案加入壓縮檔（Ctrl+Shift+A）</translation>
    </message>
    <message>
        <source>Deletes the selected entries from the archive (Delete)</source>
        <translation>從壓縮檔刪除選取的項目（Delete）</translation>
    </message>
    <message>
        <source>Shows the selected file (F3)</source>
        <translation>顯示選取的檔案（F3）</translation>
    </message>
    <message>
        <source>Extracts the selected entries, or all that are listed, to a folder (Ctrl+E)</source>
        <translation>把選取的項目（或清單中的全部項目）解壓縮到資料夾（Ctrl+E）</translation>
    </message>
    <message>
        <source>Rewrites the archive without the space deleted entries left</source>
        <translation>重寫壓縮檔，移除已刪除項目留下的空間</translation>
    </message>
    <message>
        <source>Closes the window (Ctrl+Q)</source>
        <translation>關閉視窗（Ctrl+Q）</translation>
    </message>
    <message>
        <source>Drive</source>
        <translation>磁碟</translation>
    </message>
    <message>
        <source>The drive or volume whose folders the folder pane shows</source>
        <translation>資料夾窗格所顯示的磁碟或磁區</translation>
    </message>
    <message>
        <source>Folders</source>
        <translation>資料夾</translation>
    </message>
    <message>
        <source>The folders of the drive; the chosen one is listed in the file pane</source>
        <translation>磁碟中的資料夾；選取的資料夾會列在檔案窗格中</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>檔案</translation>
    </message>
    <message>
        <source>The files and folders of the chosen folder, to add to the archive</source>
        <translation>選取的資料夾中的檔案與資料夾，可加入壓縮檔</translation>
    </message>
    <message>
        <source>Archive folders</source>
        <translation>壓縮檔資料夾</translation>
    </message>
    <message>
        <source>The folders stored in the archive</source>
        <translation>壓縮檔中儲存的資料夾</translation>
    </message>
    <message>
        <source>Archive contents</source>
        <translation>壓縮檔內容</translation>
    </message>
    <message>
        <source>The entries of the archive folder chosen in the tree</source>
        <translation>樹狀目錄中選取的壓縮檔資料夾裡的項目</translation>
    </message>
    <message>
        <source>Lists only the entries whose names contain this text</source>
        <translation>只列出名稱含有這段文字的項目</translation>
    </message>
    <message>
        <source>Searches every folder of the archive, not only the one shown</source>
        <translation>搜尋壓縮檔的每個資料夾，而不只是顯示中的資料夾</translation>
    </message>
    <message>
        <source>Listed entries</source>
        <translation>列出的項目</translation>
    </message>
    <message>
        <source>How many folders and files are listed, and their size</source>
        <translation>列出的資料夾與檔案數量，以及它們的大小</translation>
    </message>
    <message>
        <source>Selection</source>
        <translation>選取範圍</translation>
    </message>
    <message>
        <source>How many entries are selected, and their size</source>
        <translation>選取的項目數量，以及它們的大小</translation>
    </message>
    <message>
        <source>Last command</source>
        <translation>上一個指令</translation>
    </message>
    <message>
        <source>What the last command did</source>
        <translation>上一個指令做了什麼</translation>
    </message>
    <message>
        <source>The open archive: its folder tree and the listing of a folder</source>
        <translation>開啟的壓縮檔：它的資料夾樹狀目錄與資料夾內容清單</translation>
    </message>
</context>
<context>
    <name>oru::ui::TPropertiesDlg</name>
    <message>
        <source>Archive Properties</source>
        <translation>壓縮檔內容</translation>
    </message>
    <message>
        <source>%1:</source>
        <translation>%1：</translation>
    </message>
</context>
<context>
    <name>oru::ui::TSelectDirDlg</name>
    <message>
        <source>Select Directory</source>
        <translation>Select Directory</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Directory &amp;Name:</source>
        <translation>Directory &amp;Name:</translation>
    </message>
    <message>
        <source>&amp;Directories:</source>
        <translation>&amp;Directories:</translation>
    </message>
    <message>
        <source>&amp;Files: (*.*)</source>
        <translation>&amp;Files: (*.*)</translation>
    </message>
    <message>
        <source>D&amp;rives:</source>
        <translation>D&amp;rives:</translation>
    </message>
    <message>
        <source>The specified directory does not exist. Create it?</source>
        <translation>The specified directory does not exist. Create it?</translation>
    </message>
    <message>
        <source>&amp;Yes</source>
        <translation>&amp;Yes</translation>
    </message>
    <message>
        <source>&amp;No</source>
        <translation>&amp;No</translation>
    </message>
    <message>
        <source>Home</source>
        <translation>Home</translation>
    </message>
    <message>
        <source>&amp;Places:</source>
        <translation>&amp;Places:</translation>
    </message>
</context>
<context>
    <name>oru::ui::TfmBrowse</name>
    <message>
        <source>Open with the Default Application</source>
        <translation>以預設應用程式開啟</translation>
    </message>
    <message>
        <source>Page</source>
        <translation>頁面</translation>
    </message>
    <message>
        <source>The stored HTML file, rendered</source>
        <translation>壓縮檔中的 HTML 檔案，以網頁顯示</translation>
    </message>
    <message>
        <source>Text</source>
        <translation>文字</translation>
    </message>
    <message>
        <source>The stored file&apos;s text</source>
        <translation>壓縮檔中檔案的文字</translation>
    </message>
    <message>
        <source>Opens the file with the application the desktop uses for its type</source>
        <translation>以桌面環境為這種檔案設定的應用程式開啟它</translation>
    </message>
</context>
</TS>
