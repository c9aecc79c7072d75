// 営業中かどうかを表示する
window.onload = function () {
  var hours = document.getElementById("hours");
  if (!hours) return;
  var now = new Date();
  var open = now.getDay() !== 3 && now.getHours() >= 8 && now.getHours() < 18;
  hours.innerHTML += open ? "（ただいま営業中です）" : "（ただいま準備中です）";
};
