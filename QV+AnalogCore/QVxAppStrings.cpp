#include "QV+AnalogCore/QVxAppStrings.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

constexpr std::pair<int, std::string_view> kTexts[] = {
    {kAppStringOleInitFailed,
     "OLE の初期化に失敗しました。OLE ライブラリのバージョンが正しいことを確認してください。"},
    {kAppStringToolBarTitle, "標準"},
    {kAppStringToolBarCustomize, "カスタマイズ..."},
    {kAppStringSessionFileFilter, "設定ﾌｧｲﾙ(*.qvxa)|*.qvxa||"},
    {kAppStringNoStartStopTrigger,
     "TRG1，TRG2：スタート，ストップトリガーを使用するには、少なくとも一つ以上、適用するスタートトリガーまた"
     "はストップ"
     "トリガーをオンにしてください。"},
    {kAppStringDataSizeOverFreeSpace, "ログデータサイズが、%sドライブの空き容量を超えています。"},
    {kAppStringThresholdRange, "しきい値は%dmVから%dmVの範囲で入力してください。"},
    {kAppStringStopDataSizeTooSmall,
     "総データ量により自動停止するためには、1MByte以上の取得上限サイズを入力してください。"},
    {kAppStringClose, "閉じる"},
    {kAppStringReportTooOld,
     "ver.2.0.0より前に取得したレポートデータは表示できません。設定ファイルのみ開きます。"},
    {kAppStringApplicationClosing, "アプリケーションを終了しています。"},
    {kAppStringDisplayTriggerListFull,
     "表示トリガーの検出数が上限（%s件）に達しました。トレースは続行しますが、以降の検出は件数のみ数え、"
     "一覧には追加しません。"},
    {kAppStringUntitled, "無題"},
    {kAppStringSaveRecordingQuestion,
     "記録したデータはまだ保存されていません。\n保存しますか？保存しない場合、このデータは削除されます。"},
    {kAppStringSearchNext, "次を検索"},
    {kAppStringSearchPrevious, "前を検索"},
    {kAppStringSearchAll, "すべて検索"},
    {kAppStringSearchRange, "検索範囲"},
    {kAppStringSearchRangeWhole, "全体"},
    {kAppStringSearchRangeMarkers, "M1-M2"},
    {kAppStringSearchNoHit, "表示トリガーの条件に合う箇所は見つかりませんでした。"},
    {kAppStringSearchNeedsMarkers, "M1-M2 の範囲を検索するには、マーカー M1 と M2 を設定してください。"},
    {kAppStringSearchReadFailed, "レポートデータを読み込めませんでした。"},
    {kAppStringSearchHitLimit, "検出数が上限（%s件）に達したため、以降の箇所は一覧に追加していません。"},
    {kAppStringSearchCaption, "表示トリガーの条件で検索しています..."},
    {kAppStringMeasurementTitle, "測定"},
    {kAppStringMeasurementMarkers, "M1-M2: %s ～ %s"},
    {kAppStringMeasurementWindow, "表示範囲: %s ～ %s"},
    {kAppStringMeasurementBusy, "計算中..."},
    {kAppStringMeasurementNoData, "データがありません"},
    {kAppStringMeasurementColumns, "チャンネル|レコード数|最小|最大|p-p|平均|RMS|周波数"},
    {kAppStringResetCacheFolder, "キャッシュフォルダをデフォルトに戻しますか？"},
    {kAppStringCacheFolderBrowseTitle, "キャッシュフォルダの指定"},
    {kAppStringEnterCacheFolder, "キャッシュフォルダを指定してください。"},
    {kAppStringCacheFolderNotFound, "キャッシュフォルダの指定先が見つかりません。"},
    {kAppStringCacheFolderMissing,
     "キャッシュフォルダの指定先が見つかりません。\n環境設定の指定先フォルダを確認してください。"},
    {kAppStringAppTitle, "QV+Analog"},
};

}  // namespace

std::string_view QVxLoadAppString(int id) {
    const auto it = std::find_if(std::begin(kTexts), std::end(kTexts),
                                 [id](const auto& entry) { return entry.first == id; });
    return it != std::end(kTexts) ? it->second : std::string_view();
}
