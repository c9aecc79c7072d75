// 本日のおすすめを曜日ごとに出し分ける
var todaysPick = [
  "日曜日：朝霧ブレンドと胡桃のパウンドケーキのセット",
  "月曜日：こもれびブレンド（深煎り）",
  "火曜日：エチオピア　イルガチェフェ",
  "水曜日：定休日です",
  "木曜日：自家製チーズケーキ",
  "金曜日：水出し珈琲",
  "土曜日：焙煎したての豆の試飲会"
];

window.onload = function () {
  var place = document.getElementById("today");
  if (place) {
    place.innerHTML = todaysPick[new Date().getDay()];
  }
};
