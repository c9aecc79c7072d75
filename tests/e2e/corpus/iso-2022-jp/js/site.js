// $B$3$H$N$OJ86qE9!'%Z!<%8$K0';"J8$r=q$-9~$`!J-!!A-#$N=g!K(B
(function () {
  function put(id, text) {
    var element = document.getElementById(id);
    if (element) element.textContent = text;
  }
  var greeting = '$BK\F|$O!V$3$H$N$OJ86qE9!W$X$h$&$3$=!#(B';
  put('js-greeting', greeting);
  put('js-notice', '(I>0Y$BCf!'-!!A-#$N>&IJ$O#23d0z!"-j$3$H$N$O2q0w$O$5$i$K#5!s0z$-$G$9!#(B');
  put('js-path', 'C:\\$BJ8=q(B\\$BI=<(M=Dj(B.txt $B$NG=NOI=$r;2>H!J%=%U%H!K(B');
  var area = '$BEl5~ET@iBeED6h?@ED(B'.replace(/$B@iBeED6h(B/, '$BCf1{6h(B');
  put('js-regex', area + '$B!J0\E>M=Dj!K(B');
  put('js-escape', '\u3053\u3068\u306e\u306f' + "$B!&|b66(B" + "\x41");
  /* $B0J2<$O30;z!'|b!&yu!&y,!&-7(B */
})();
