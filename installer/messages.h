// installer/messages.h: the installer's texts, in code page 932 bytes; the
// comment above each shows it. Defined in installer/messages.cpp.
#pragma once

//   日本語Wyrmhold(Yamawyrm) for Windows95/98/NT  セットアップ
extern const char MSG_TITLE[];

//   Yamawyrm移植チーム 制作
extern const char MSG_CREDIT[];

// Yamawyrmをインストールする場所を指定してください。
extern const char MSG_ASK_DIRECTORY[];

//  (省略するとc:\games\yamawyrm\になります。)
extern const char MSG_DEFAULT_HINT[];

// %sにインストールします。
extern const char MSG_INSTALLING_INTO[];

// --- ディレクトリ"%s"を作成中...
extern const char MSG_CREATING_DIRECTORY[];

// パスが長すぎます。もっと短い場所を指定してください。
extern const char MSG_DIRECTORY_TOO_LONG[];

// パスに使えない文字が含まれています。別の場所を指定してください。
extern const char MSG_DIRECTORY_BAD_CHARACTER[];

// フォルダ名の終わりに空白やピリオドは使えません。別の場所を指定してください。
extern const char MSG_DIRECTORY_BAD_END[];

// --- バイナリファイルを展開中...
extern const char MSG_EXTRACTING_ALL[];

// "%s"に既にyamawyrm.exeが存在しています!
extern const char MSG_ALREADY_INSTALLED[];

// バージョン1.0.5.4.1をY2k対策版にアップデートしますか? [y/n]
extern const char MSG_ASK_UPDATE[];

// --- "yamawyrm.exe"を展開中...
extern const char MSG_EXTRACTING_EXE[];

// 旧ファイルを全消去してインストールしていいですか? [y/n]
extern const char MSG_ASK_REPLACE[];

// ファイルを消去します。
extern const char MSG_DELETING[];

// インストールをしませんでした。
extern const char MSG_NOT_INSTALLED[];

// --- Yamawyrmの設定に関しての質問をします...
extern const char MSG_SETTINGS[];

// あなたの名前は(あなたのプレイヤーの名前は)何ですか ?
extern const char MSG_ASK_NAME[];

// 名前を省略しました。Yamawyrm起動時に入力してください。
extern const char MSG_NO_NAME[];

// --- 設定ファイル"wyrmhold.cnf"を作成中...
extern const char MSG_WRITING_CONFIG[];

// 入力できない文字が含まれています。もう一度入力してください。
extern const char MSG_UNCONVERTIBLE[];

// 名前が長すぎます。もっと短い名前を入力してください。
extern const char MSG_NAME_TOO_LONG[];

// 作成完了。
extern const char MSG_DONE[];

// --- 起動用バッチファイル"yamawyrm.bat"を作成中...
extern const char MSG_WRITING_BATCH[];

// --- ショートカットを作成中...
extern const char MSG_CREATING_SHORTCUTS[];

// 初心者向けの『ガイドブック』を読みますか? [y/n]
extern const char MSG_ASK_GUIDE[];

//  (初めてプレイする方はぜひお読みください。)
extern const char MSG_GUIDE_HINT[];

// インストールは完了していません。上のエラーを確認してください。
extern const char MSG_INCOMPLETE[];

// インストールを終了しました。
extern const char MSG_FINISHED[];

// The rule line of the banner: 62 hyphen-minus characters.
extern const char MSG_RULE[];

// ファイル"%s%s"を作成できませんでした。
extern const char MSG_CANNOT_CREATE[];

// ファイル"%s%s"の書き込みに失敗しました。
extern const char MSG_CANNOT_WRITE[];

// 保存に失敗しました
extern const char MSG_SAVE_FAILED[];

// 『ガイドブック』を開けませんでした。"%s"にあります。
extern const char MSG_GUIDE_NOT_OPENED[];

// リターンキーを押してください。
extern const char MSG_PRESS_RETURN[];
