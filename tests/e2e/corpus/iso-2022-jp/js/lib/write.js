/* $BC4Ev<TMs$r=q$-=P$9!J|b66!&5\yu!K(B */
document.write('<p class="write" data-js="write">$BC4Ev!'|b66!&5\yu!!(IJ_?:]$B65<<$OBh-62q>l$G$9!#(B</p>');
