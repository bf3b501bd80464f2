-- Every frame, with the player object: arrows (or A/D, or the first pad's
-- stick through the keys) set the speed; Up or Space jumps while the body
-- is not already moving up or down.
local player = ...
local body = player:GetComponent("PhysicsBody")
if not body then return end
local speed = 0
if IsKeyPressed(263) == 1 or IsKeyPressed(65) == 1 then speed = speed - 260 end
if IsKeyPressed(262) == 1 or IsKeyPressed(68) == 1 then speed = speed + 260 end
body:SetVelX(speed)
local jump = IsKeyPressed(265) == 1 or IsKeyPressed(32) == 1
if jump and math.abs(body:GetVelY()) < 1 then
    body:SetVelY(420)
end
