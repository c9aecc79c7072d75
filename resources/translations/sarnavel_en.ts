<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>sarnavel::AddFilesDialog</name>
    <message>
        <source>ファイルやフォルダを追加</source>
        <translation>Add files or folders</translation>
    </message>
    <message>
        <source>上のフォルダへ (Alt+↑)</source>
        <translation>Up to the folder above (Alt+Up)</translation>
    </message>
    <message>
        <source>変換する種類のファイル</source>
        <translation>Files of the kinds converted</translation>
    </message>
    <message>
        <source>すべてのファイル</source>
        <translation>All files</translation>
    </message>
</context>
<context>
    <name>sarnavel::BackgroundIntake</name>
    <message>
        <source>ファイルを追加しています...</source>
        <translation>Adding files...</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>sarnavel::FileListModel</name>
    <message>
        <source>ファイル名</source>
        <translation>File name</translation>
    </message>
    <message>
        <source>拡張子</source>
        <translation>Extension</translation>
    </message>
    <message>
        <source>フルパス</source>
        <translation>Full path</translation>
    </message>
</context>
<context>
    <name>sarnavel::MainDialog</name>
    <message>
        <source>変換先の文字コード(&amp;O):</source>
        <translation>Target enc&amp;oding:</translation>
    </message>
    <message>
        <source>変換先の改行コード(&amp;N):</source>
        <translation>Target &amp;newline:</translation>
    </message>
    <message>
        <source>参照CSSも変換(&amp;S)</source>
        <translation>Linked CSS too (&amp;S)</translation>
    </message>
    <message>
        <source>参照jsも変換(&amp;J)</source>
        <translation>Linked JS too (&amp;J)</translation>
    </message>
    <message>
        <source>バックアップを作成する(&amp;B)</source>
        <translation>Make &amp;backups</translation>
    </message>
    <message>
        <source>変換するファイルのリスト(&amp;L):</source>
        <translation>Files to convert (&amp;L):</translation>
    </message>
    <message>
        <source>※ここに変換したいファイルやフォルダをドロップしてください。</source>
        <translation>Drop the files or folders to convert here.</translation>
    </message>
    <message>
        <source>選択項目をリストから削除(&amp;D)</source>
        <translation>Remove selecte&amp;d from the list</translation>
    </message>
    <message>
        <source>すべて削除(&amp;A)</source>
        <translation>Remove &amp;all</translation>
    </message>
    <message>
        <source>確認(&amp;K)</source>
        <translation>Chec&amp;k</translation>
    </message>
    <message>
        <source>変換(&amp;C)</source>
        <translation>&amp;Convert</translation>
    </message>
    <message>
        <source>終了(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>変更なし</source>
        <translation>Unchanged</translation>
    </message>
    <message>
        <source>%1 件</source>
        <translation>%1 files</translation>
    </message>
    <message>
        <source>サルナヴェル（SARNAVEL） ver. </source>
        <translation>Sarnavel (SARNAVEL) ver. </translation>
    </message>
    <message>
        <source> - 試し変換（ファイルに書き込みません）</source>
        <translation> - dry run (no file is written)</translation>
    </message>
</context>
<context>
    <name>sarnavel::PreferencesDialog</name>
    <message>
        <source>サーバーの文字コード指定も直す(&amp;H)</source>
        <translation>Fix the server&apos;s c&amp;harset lines too</translation>
    </message>
    <message>
        <source>試し変換: ファイルに書き込まない(&amp;D)</source>
        <translation>&amp;Dry run: write no file</translation>
    </message>
    <message>
        <source>設定</source>
        <translation>Preferences</translation>
    </message>
    <message>
        <source>空: html, css, js。「+」で始めると既定に加えます。</source>
        <translation>Empty: html, css, js. A list beginning with &quot;+&quot; adds to those.</translation>
    </message>
    <message>
        <source>元のファイルと同じフォルダー</source>
        <translation>The folder of each file</translation>
    </message>
    <message>
        <source>参照...(&amp;R)</source>
        <translation>B&amp;rowse...</translation>
    </message>
    <message>
        <source>バックアップの保存先</source>
        <translation>Folder for backups</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>既定に戻す(&amp;E)</source>
        <translation>R&amp;estore defaults</translation>
    </message>
    <message>
        <source>変換する種類(&amp;K):</source>
        <translation>&amp;Kinds to convert:</translation>
    </message>
    <message>
        <source>バックアップの保存先(&amp;B):</source>
        <translation>&amp;Backup folder:</translation>
    </message>
    <message>
        <source>バックアップの接尾辞(&amp;S):</source>
        <translation>Backup &amp;suffix:</translation>
    </message>
</context>
<context>
    <name>sarnavel::ProgressDialog</name>
    <message>
        <source>ログを保存</source>
        <translation>Save the log</translation>
    </message>
    <message>
        <source>キャンセル(&amp;C)</source>
        <translation>&amp;Cancel</translation>
    </message>
    <message>
        <source>確認中...</source>
        <translation>Checking...</translation>
    </message>
    <message>
        <source>変換中...</source>
        <translation>Converting...</translation>
    </message>
    <message>
        <source>すべて(&amp;A)</source>
        <translation>&amp;All</translation>
    </message>
    <message>
        <source>失敗(&amp;F)</source>
        <translation>&amp;Failed</translation>
    </message>
    <message>
        <source>警告(&amp;W)</source>
        <translation>&amp;Warnings</translation>
    </message>
    <message>
        <source>検索 (Ctrl+F)</source>
        <translation>Find (Ctrl+F)</translation>
    </message>
    <message>
        <source>保存...(&amp;S)</source>
        <translation>&amp;Save...</translation>
    </message>
    <message>
        <source>閉じる(&amp;C)</source>
        <translation>&amp;Close</translation>
    </message>
    <message>
        <source>確認結果</source>
        <translation>Check results</translation>
    </message>
    <message>
        <source>変換結果</source>
        <translation>Conversion results</translation>
    </message>
    <message>
        <source>保存できませんでした: %1
%2</source>
        <translation>Could not save %1:
%2</translation>
    </message>
</context>
<context>
    <name>sarnavel::MainDialog</name>
    <message>
        <source>Ctrl+O: ファイルやフォルダを選んで追加
Ctrl+V: 貼り付けたパスや file:// URL を追加（1行に1つ）
Delete: 選択した行をリストから削除</source>
        <translation>Ctrl+O: choose files or folders to add
Ctrl+V: add pasted paths or file:// URLs (one a line)
Delete: remove the selected rows from the list</translation>
    </message>
</context>
<context>
    <name>sarnavel::ProgressDialog</name>
    <message>
        <source>ログ (*.txt)</source>
        <translation>Log (*.txt)</translation>
    </message>
    <message>
        <source>レポート JSON Lines (*.jsonl)</source>
        <translation>Report, JSON Lines (*.jsonl)</translation>
    </message>
</context>
</TS>
