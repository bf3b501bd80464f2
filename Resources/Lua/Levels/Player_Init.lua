-- The playground's player, with its object: joins the player list and
-- keeps upright.
local player = ...
table.insert(PLAYER_LIST, player)
local body = player:GetComponent("PhysicsBody")
if body then body:SetFixedAngle(1) end
