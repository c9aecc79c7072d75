// ことのは文具店：ページに挨拶文を書き込む（①～③の順）
(function () {
  function put(id, text) {
    var element = document.getElementById(id);
    if (element) element.textContent = text;
  }
  var greeting = '本日は「ことのは文具店」へようこそ。';
  put('js-greeting', greeting);
  put('js-notice', 'ｾｰﾙ中：①～③の商品は２割引、㈱ことのは会員はさらに５％引きです。');
  put('js-path', 'C:\\文書\\表示予定.txt の能力表を参照（ソフト）');
  var area = '東京都千代田区神田'.replace(/千代田区/, '中央区');
  put('js-regex', area + '（移転予定）');
  put('js-escape', '\u3053\u3068\u306e\u306f' + "・髙橋" + "\x41");
  /* 以下は外字：髙・﨑・彅・Ⅲ */
})();
