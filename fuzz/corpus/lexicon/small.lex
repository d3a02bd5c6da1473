vexta-lexicon	1
tag-length	2
rare-max	10
suffix-max	6
theta	1
tags	5
CN
NP
NS
VS
ZP
rules	3
0	0	
0	1	
1	0	
forms	6	6
.	.	ZP	3
12	12	CN	1
Blick	blick	NS	1
blick	blick	VS	1
blicks	blick	NP	1
blocks	block	NP	1
endings	27	32
*	CN	1	0
*	NP	2	2
*	NS	1	1
*	VS	1	0
*	ZP	3	0
c	NS	1	1
cblick	NS	1	1
cck	NS	1	1
cick	NS	1	1
ck	NS	1	1
click	NS	1	1
l	NP	2	2
l	VS	1	0
lblick	VS	1	0
lblicks	NP	1	2
lblocks	NP	1	2
lck	VS	1	0
lcks	NP	2	2
lick	VS	1	0
licks	NP	1	2
lk	VS	1	0
lks	NP	2	2
llick	VS	1	0
llicks	NP	1	2
llocks	NP	1	2
locks	NP	1	2
ls	NP	2	2
n	CN	1	0
n12	CN	1	0
n2	CN	1	0
p	ZP	3	0
p.	ZP	3	0
end
