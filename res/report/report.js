(function(){
"use strict";
const n=D.n;
// The numbers as written: comma-separated, "v*c" for c of them, read
// without making a string of each.
function num(t){const a=new Float64Array(n);let v=0,c=0,rep=false,k=0;
  const put=()=>{const times=rep?c:1;for(let j=0;j<times;j++)a[k++]=v;v=0;c=0;rep=false;};
  for(let i=0;i<t.length;i++){const ch=t.charCodeAt(i);
    if(ch===44)put();else if(ch===42)rep=true;else if(rep)c=c*10+ch-48;else v=v*10+ch-48;}
  if(t.length)put();return a;}
const F=num(D.first),K=num(D.kept),P=num(D.pat),B=num(D.brk),C=D.combed!==undefined?num(D.combed):null;
for(let i=1;i<n;i++)F[i]+=F[i-1];
const KI=new Float64Array(n);let acc=0;for(let i=0;i<n;i++){KI[i]=acc;acc+=K[i];}
const last=i=>i+1<n?F[i+1]-1:D.entries-1;
const name=e=>Math.floor(e/2)+(e%2?'b':'a');
const clock=s=>{const ms=Math.round(s*1000),h=Math.floor(ms/3600000),m=Math.floor(ms/60000)%60,sec=Math.floor(ms/1000)%60;
  return h+':'+String(m).padStart(2,'0')+':'+String(sec).padStart(2,'0')+'.'+String(ms%1000).padStart(3,'0');};
const KINDS={'1':'single','1 0':'irregular'};
function kind(p){if(KINDS[p])return KINDS[p];const ones=p.split('1').length-1;return ones==4?'cycle':ones==2?'alternation':'run';}
const CAD=[['10100','3:2 pulldown'],['1010100100','2:3:3:2'],['10','video']];
function cadence(p){for(const[k,v]of CAD)if(p.length==k.length&&(k+k).includes(p))return v;return '';}
// Kept entries a second: a periodic section's pattern share, else kept over entries.
function fps(i){const p=D.patterns[P[i]];if(p=='1'||p=='1 0')return D.fields*K[i]/(last(i)-F[i]+1);
  return D.fields*(p.split('1').length-1)/p.length;}
function cells(i){const f=F[i],l=last(i),p=D.patterns[P[i]];
  const c=[f,name(f),clock(f/D.fields),l,K[i],KI[i],(100*K[i]/(l-f+1)).toFixed(1),fps(i).toFixed(3),kind(p),p,cadence(p)];
  if(C)c.push(C[i]);return c;}
// What each column sorts by: numbers as numbers (the script's name and the
// time by the entry they stand for), words as words.
const TEXT=[8,9,10];
function key(i,col){switch(col){case 1:case 2:return F[i];case 6:return K[i]/(last(i)-F[i]+1);case 7:return fps(i);}
  const v=cells(i)[col];return TEXT.includes(col)?String(v):+v;}
// Kept or dropped, for any entry: each section keeps its pattern from its first entry.
function keptSet(from,to){const kept=new Set();
  let i=section(from);
  for(i=Math.max(0,i-1);i<n&&F[i]<=to;i++){const p=D.patterns[P[i]];
    if(p=='1'||p=='1 0'){kept.add(F[i]);continue;}
    const offs=[];for(let k=0;k<p.length;k++)if(p[k]=='1')offs.push(k);
    for(let q=0,c=0;c<K[i];q++){const base=F[i]+q*p.length;for(const o of offs){if(c>=K[i])break;kept.add(base+o);c++;}}}
  return kept;}
// The section that holds entry e.
function section(e){let lo=0,hi=n-1;while(lo<hi){const m=(lo+hi+1)>>1;if(F[m]<=e)lo=m;else hi=m-1;}return lo;}
const box=document.getElementById('rows'),body=document.querySelector('#sections tbody');
const order=new Uint32Array(n);for(let i=0;i<n;i++)order[i]=i;
const rowOf=new Uint32Array(n);for(let i=0;i<n;i++)rowOf[i]=i;
let selected=-1;const ROW=24,AROUND=20,DETAIL=120,MAXH=4e6;
// The rows in view: the scroll position stands for a share of all the rows,
// since no browser makes an element millions of rows high.
function firstShown(){const count=Math.ceil(box.clientHeight/ROW)+2,H=Math.min(n*ROW,MAXH),room=Math.max(1,H-box.clientHeight);
  return Math.min(Math.max(0,n-count),Math.round(box.scrollTop/room*Math.max(0,n-count)));}
function draw(){const count=Math.ceil(box.clientHeight/ROW)+2,H=Math.min(n*ROW,MAXH),top=box.scrollTop,
    first=firstShown(),shown=Math.min(n,first+count),pad=Math.max(0,Math.min(top,H-(shown-first)*ROW));
  let html='<tr style="height:'+pad+'px"></tr>';
  for(let r=first;r<shown;r++){const i=order[r],c=cells(i);
    html+='<tr data-i="'+i+'" class="'+(B[i]?'break':'')+(i==selected?' selected':'')+'">';
    for(let k=0;k<c.length;k++)html+='<td'+(TEXT.includes(k)?' class="text"':C&&k==11&&c[k]>0?' class="combed"':'')+'>'+c[k]+'</td>';
    html+='</tr>';}
  html+='<tr style="height:'+Math.max(0,H-pad-(shown-first)*ROW)+'px"></tr>';body.innerHTML=html;}
// Scrolls the table so that section i's row is in view.
function reveal(i){const count=Math.max(1,n-(Math.ceil(box.clientHeight/ROW)+2)),H=Math.min(n*ROW,MAXH),
    room=Math.max(1,H-box.clientHeight),r=rowOf[i];
  box.scrollTop=n*ROW<=MAXH?Math.max(0,r*ROW-box.clientHeight/3):Math.round(Math.min(r,count)/count*room);}
function show(i){selected=i;draw();
  const f=F[i],l=last(i),from=Math.max(0,f-AROUND),to=Math.min(D.entries-1,Math.min(l,f+DETAIL-1)+AROUND),kept=keptSet(from,to),w=30;
  let svg='<svg width="'+((to-from+1)*w)+'" height="46">';
  for(let e=from;e<=to;e++){const k=kept.has(e),inside=e>=f&&e<=l,x=(e-from)*w;
    svg+='<g class="entry '+(k?'kept':'dropped')+(inside?'':' around')+'"><rect x="'+(x+1)+'" y="2" width="'+(w-2)+'" height="24" fill="'+(k?'#1b7f3b':'#b8bec6')+'"'+(inside?'':' fill-opacity="0.45"')+'/>'+
      '<text x="'+(x+w/2)+'" y="40" font-size="9" text-anchor="middle">'+e+'</text></g>';}
  const c=cells(i);
  document.getElementById('detail').innerHTML='<h2>Section '+f+' to '+l+' ('+c[1]+', '+c[2]+'): '+c[8]+' '+c[9]+', '+c[7]+' fps</h2><p>'+
    K[i]+' kept of '+(l-f+1)+' entries, with '+(f-from)+' before it and '+(to-Math.min(l,f+DETAIL-1))+' after it'+
    (l-f+1>DETAIL?'; its first '+DETAIL+' drawn':'')+(C&&C[i]>0?'; '+C[i]+' of its kept entries weave a combed frame':'')+
    '. Dark green: kept, grey: dropped; the entries around the section are paler.</p>'+svg+'</svg>';}
function select(i){show(i);reveal(i);draw();}
box.addEventListener('scroll',draw);
body.addEventListener('click',e=>{const row=e.target.closest('tr');if(row&&row.dataset.i)show(+row.dataset.i);});
// A click on the overview: the break nearest to it within two bins of the
// marks, else the section that holds the entry there.
document.getElementById('overview').addEventListener('click',e=>{
  const box=e.currentTarget.getBoundingClientRect(),x=Math.min(Math.max(0,(e.clientX-box.left)/box.width),1);
  const e0=Math.min(D.entries-1,Math.floor(x*D.entries)),reach=2*D.entries/D.bins;
  let best=-1,far=Infinity;const s=section(e0);
  for(let i=s;i<n&&F[i]-e0<=reach;i++)if(B[i]&&F[i]-e0<far){far=F[i]-e0;best=i;}
  for(let i=s;i>=0&&e0-F[i]<=reach;i--)if(B[i]&&e0-F[i]<far){far=e0-F[i];best=i;}
  select(best>=0?best:s);});
document.querySelectorAll('#sections th').forEach((th,col)=>{th.addEventListener('click',()=>{
  const up=!th.classList.contains('up');
  document.querySelectorAll('#sections th').forEach(h=>h.classList.remove('up','down'));
  th.classList.add(up?'up':'down');
  const keys=new Array(n);for(let i=0;i<n;i++)keys[i]=key(i,col);
  const idx=Array.from(order);const text=TEXT.includes(col);
  idx.sort((a,b)=>{const x=keys[a],y=keys[b];const d=text?String(x).localeCompare(String(y)):x-y;return (d||a-b)*(up?1:-1);});
  for(let r=0;r<n;r++){order[r]=idx[r];rowOf[idx[r]]=r;}
  box.scrollTop=0;draw();});});
draw();
const m=/click=(\d+)/.exec(location.hash);
if(m&&+m[1]<n)select(+m[1]);
})();
